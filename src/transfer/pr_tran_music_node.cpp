#include "transfer/pr_tran_music_node.h"

#include "backup/writers/export_file.h"
#include "platform/file_name_fit.h"

std::string PRTranMusicNode::localFileName() const {
    const QString location = musicLoctionpath();
    const QString fileName = location.mid(location.lastIndexOf(QLatin1Char('/')) + 1);
    const nimbara::backup::ExportNameParts parts = nimbara::backup::exportNameParts(fileName);
    const QString fallback = parts.stem.isEmpty() ? QStringLiteral("Untitled") : parts.stem;
    return nimbara::fittedFileName(nimbara::backup::safeFileStem(musicTitle(), fallback), {},
                                   parts.extension);
}
