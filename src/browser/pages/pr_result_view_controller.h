// The backup browser's result page: the records found in one local backup.
#pragma once

#include "ui/page_controller_base.h"

class PRResultViewController : public nimbara::ui::PageControllerBase {
    Q_OBJECT

  public:
    explicit PRResultViewController(QObject* parent = nullptr);
};
