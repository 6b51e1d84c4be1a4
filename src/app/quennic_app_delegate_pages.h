// The page controllers the application hub creates and drives (for the hub's own sources).
#pragma once

#include "backup/pages/pr_back_up_view_controller.h"
#include "backup/pages/pr_ios_device_controller.h"
#include "browser/pages/pr_result_view_controller.h"
#include "cleanup/pages/pr_ads_remove_controller.h"
#include "cleanup/pages/pr_clean_view_controller.h"
#include "cleanup/pages/pr_find_large_file_view_controller.h"
#include "cleanup/pages/pr_system_boost_view_controller.h"
#include "filemanager/pages/pr_diska_manager_view_controller.h"
#include "filemanager/pages/pr_phone_system_view_controller.h"
#include "privacy/pages/pr_privacy_controller.h"
#include "transfer/pages/pr_one_copy_view_controller.h"
#include "transfer/pages/pr_tansfer_view_controller.h"
