// The media-kind extension tables and the look-ups over them.
#include <cstring>

#include "ui/core/text_utilities.h"

namespace nimbara::shell {

namespace {

// Upper-case extensions without the dot, each table closed by an empty entry. The first equal
// entry gives the position, so the repeated entries of the image table are never reached.
constexpr const char* kImageTypes[] = {
    "3DM", "3DMF", "3DS",  "ABM", "AFX",  "AI",           "ANI",  "ART",  "ARW",  "BLD",  "BLEND",
    "BMP", "BOO",  "BR5",  "CDR", "CDR",  "CDT",          "CGM",  "CIFF", "CLP",  "CMX",  "CONT",
    "CPT", "CR2",  "CRW",  "CUR", "CVX",  "DCM",          "DCR",  "DCR",  "DIB",  "DNG",  "DRW",
    "DS4", "DSC",  "DT2",  "DWF", "DWG",  "EMF",          "EMZ",  "ERF",  "FH8",  "FLC",  "FOV",
    "FPF", "FPX",  "FUJI", "FXG", "GIF",  "HDP",          "HPI",  "ICNS", "ICO",  "IDML", "IFF",
    "IMG", "INX",  "IPX",  "ISD", "ITC2", "IV",           "JP2",  "JPEG", "JPG",  "JPX",  "K25",
    "KDC", "LBM",  "MA",   "MAX", "MB",   "MDI",          "MDL",  "MDX",  "MINO", "MNG",  "MOS",
    "MRW", "MSP",  "NCR",  "NEF", "OBJ",  "ORF",          "PAL",  "PAT",  "PBM",  "PCS",  "PCT",
    "PCX", "PEF",  "PGM",  "PIC", "PICT", "PICTCLIPPING", "PNG",  "PPM",  "PSD",  "PSP",  "PSPIMGE",
    "PTX", "PXN",  "QXD",  "RAF", "RAS",  "RAW",          "RELS", "RGB",  "RLE",  "RTD",  "SCT",
    "SHP", "SKF",  "SKP",  "SR2", "SRF",  "STP",          "SVG",  "SVGZ", "TEX",  "TGA",  "THM",
    "TIF", "TIFF", "VWX",  "WB1", "WBC",  "WBD",          "WBMP", "WBZ",  "WEBP", "WMF",  "WP",
    "WPG", "X3F",  "XBM",  "XCF", "XPM",  "XPS",          ""};
constexpr const char* kVideoTypes[] = {
    "3G2",   "3GP",   "ANM",      "ASF",    "ASX",    "AVI", "AVS", "CLK", "CPI",       "DIVX",
    "DMSM",  "DREAM", "DVDMEDIA", "DVM",    "DVR-MS", "DXR", "F4V", "FBR", "FLA",       "FLV",
    "HDMOV", "M2P",   "M2TS",     "M4P",    "M4V",    "MKV", "MOD", "MOI", "MOV",       "MP4",
    "MPE",   "MPEG",  "MPG",      "MXF",    "OGM",    "PSH", "QT",  "QTM", "RCPROJECT", "RM",
    "RMVB",  "SCM",   "SMIL",     "SMJPEG", "SRT",    "STX", "SWF", "TIX", "TS",        "VOB",
    "VRO",   "WMV",   "WTV",      "XVID",   "YUV",    ""};
constexpr const char* kAudioTypes[] = {
    "AMR", "AUD", "RAM",  "RFL",  "RMI", "RNS", "RPS",  "SIB",  "SND", "VPM", "WAV",
    "WMA", "AA3", "AAC",  "AC3",  "AFC", "AIF", "AIFF", "AM",   "AT3", "AU",  "CAF",
    "CDA", "CPF", "DMSA", "DMSE", "DSS", "EMP", "EMX",  "FLAC", "KPI", "M3D", "M4A",
    "M4R", "MID", "MIDI", "MP3",  "OGG", "OMF", "PTF",  ""};

// Case-insensitive comparison of ASCII letters, independent of the C locale.
bool equalsIgnoringCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        unsigned char ca = static_cast<unsigned char>(*a);
        unsigned char cb = static_cast<unsigned char>(*b);
        if (ca >= 'a' && ca <= 'z') {
            ca = static_cast<unsigned char>(ca - 'a' + 'A');
        }
        if (cb >= 'a' && cb <= 'z') {
            cb = static_cast<unsigned char>(cb - 'a' + 'A');
        }
        if (ca != cb) {
            return false;
        }
        if (ca == 0) {
            return true;
        }
    }
}

int lookUp(const char* const* table, const char* extension) {
    if (extension == nullptr) {
        return -1;
    }
    for (int i = 0; table[i][0] != '\0'; ++i) {
        if (equalsIgnoringCase(table[i], extension)) {
            return i;
        }
    }
    return -1;
}

int lookUp(const char* const* table, const QString& extension) {
    if (extension.isNull()) {
        return -1;
    }
    const QByteArray utf8 = extension.toUtf8();
    return lookUp(table, utf8.constData());
}

template <std::size_t N>
std::span<const char* const> withoutEnd(const char* const (&table)[N]) {
    return std::span<const char* const>(table, N - 1);
}

}  // namespace

int GetImageType(const char* extension) {
    return lookUp(kImageTypes, extension);
}
int GetViedoType(const char* extension) {
    return lookUp(kVideoTypes, extension);
}
int GetAudioType(const char* extension) {
    return lookUp(kAudioTypes, extension);
}
int GetImageType(const QString& extension) {
    return lookUp(kImageTypes, extension);
}
int GetViedoType(const QString& extension) {
    return lookUp(kVideoTypes, extension);
}
int GetAudioType(const QString& extension) {
    return lookUp(kAudioTypes, extension);
}

std::span<const char* const> imageTypeTable() {
    return withoutEnd(kImageTypes);
}
std::span<const char* const> videoTypeTable() {
    return withoutEnd(kVideoTypes);
}
std::span<const char* const> audioTypeTable() {
    return withoutEnd(kAudioTypes);
}

std::optional<std::string> getSuffix(const char* path) {
    if (path == nullptr) {
        return std::nullopt;
    }
    const char* dot = std::strrchr(path, '.');
    if (dot == nullptr) {
        return std::nullopt;
    }
    const char* slash = std::strrchr(path, '/');
    if (slash != nullptr && slash > dot) {
        return std::nullopt;
    }
    if (std::strlen(dot) > 20) {
        return std::nullopt;
    }
    return std::string(dot + 1);
}

}  // namespace nimbara::shell
