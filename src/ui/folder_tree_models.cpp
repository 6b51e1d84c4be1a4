#include "ui/folder_tree_models.h"

namespace nimbara::ui {

template class FolderOutlineModel<PRPhoneSystemDirNode>;
template class FolderEntriesModel<PRPhoneSystemDirNode>;
template class FolderOutlineModel<PRAppDirTreeNode>;
template class FolderEntriesModel<PRAppDirTreeNode>;
template class FolderOutlineModel<PRCleanDirNode>;
template class FolderEntriesModel<PRCleanDirNode>;

}  // namespace nimbara::ui
