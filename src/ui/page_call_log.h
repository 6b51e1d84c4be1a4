// A process-wide record of the calls the shell makes on its page controllers, in call order.
// Each entry reads "ClassName::method(args)": integers in decimal, texts in double quotes,
// widgets and senders by object name (or "nullptr"). Thread-safe.
#pragma once

#include <string>
#include <vector>

namespace nimbara::ui {

class PageCallLog {
  public:
    static void record(std::string entry);
    static std::vector<std::string> entries();
    static void clear();
};

}  // namespace nimbara::ui
