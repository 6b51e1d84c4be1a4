#include "cleanup/pr_large_file_node.h"

PRLargeFileNode::PRLargeFileNode()
    : fileName_(QLatin1String("")),
      filePath_(QLatin1String("")),
      fileSize_(QLatin1String("")),
      fileParentName_(QLatin1String("")),
      appBundId_(QLatin1String("")) {}

#define NIMBARA_LARGE_FILE_TEXT(getter, setter, field)   \
    QString PRLargeFileNode::getter() const {            \
        std::lock_guard<std::mutex> lock(mutex_);        \
        return field;                                    \
    }                                                    \
    void PRLargeFileNode::setter(const QString& value) { \
        std::lock_guard<std::mutex> lock(mutex_);        \
        field = value;                                   \
    }

NIMBARA_LARGE_FILE_TEXT(fileName, setFileName, fileName_)
NIMBARA_LARGE_FILE_TEXT(filePath, setFilePath, filePath_)
NIMBARA_LARGE_FILE_TEXT(fileSize, setFileSize, fileSize_)
NIMBARA_LARGE_FILE_TEXT(fileParentName, setFileParentName, fileParentName_)
NIMBARA_LARGE_FILE_TEXT(fileIcon, setFileIcon, fileIcon_)
NIMBARA_LARGE_FILE_TEXT(appBundId, setAppBundId, appBundId_)
NIMBARA_LARGE_FILE_TEXT(fileAdvice, setFileAdvice, fileAdvice_)
NIMBARA_LARGE_FILE_TEXT(documentSize, setDocumentSize, documentSize_)
NIMBARA_LARGE_FILE_TEXT(totalSize, setTotalSize, totalSize_)
NIMBARA_LARGE_FILE_TEXT(appVersion, setAppVersion, appVersion_)
NIMBARA_LARGE_FILE_TEXT(appDisplayName, setAppDisplayName, appDisplayName_)

#undef NIMBARA_LARGE_FILE_TEXT
