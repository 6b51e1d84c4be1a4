#include "ui/image_catalog.h"

#include <QHash>
#include <QString>

#include <array>

namespace nimbara::ui {
namespace {

using K = ImageKind;
using G = Glyph;
using L = ImageLook;

constexpr QRgb kAccent = 0xff366bdc;    // 54, 107, 220
constexpr QRgb kSoftBlue = 0xff9db5d4;  // 157, 181, 212
constexpr QRgb kSlate = 0xff5a687d;
constexpr QRgb kSurface = 0xfff4f6f9;
constexpr QRgb kEntryGrey = 0xffe3eaef;  // 227, 234, 239
constexpr QRgb kWhite = 0xffffffff;
constexpr QRgb kRed = 0xffe25247;
constexpr QRgb kYellow = 0xfff0b232;
constexpr QRgb kGreen = 0xff3ab46e;
constexpr QRgb kOrange = 0xfff0962a;
constexpr QRgb kPink = 0xffe45482;
constexpr QRgb kPurple = 0xff8864d2;
constexpr QRgb kTeal = 0xff18a0b0;
constexpr QRgb kBubbleGrey = 0xffe5e7ec;
constexpr QRgb kBubbleGreen = 0xff7cc87a;

// Sizes shared by a family of images.
constexpr std::int16_t kTabW = 146, kTabH = 40;
constexpr std::int16_t kSide = 24;
constexpr std::int16_t kTileW = 120, kTileH = 90;
constexpr std::int16_t kListW = 170, kListH = 36;
constexpr std::int16_t kPhoneW = 120, kPhoneH = 220;

// clang-format off
constexpr std::array kCatalog = std::to_array<ImageRecipe>({
    // Feature tabs of the banner: normal, hover, down.
    {"DeviceManager_Nom", K::BannerTab, G::Phone, L::Normal, kTabW, kTabH, kAccent, "Device", 0},
    {"DeviceManager_Enter", K::BannerTab, G::Phone, L::Hover, kTabW, kTabH, kAccent, "Device", 0},
    {"DeviceManager_Down", K::BannerTab, G::Phone, L::Down, kTabW, kTabH, kAccent, "Device", 0},
    {"diskmanagerNom", K::BannerTab, G::Disk, L::Normal, kTabW, kTabH, kAccent, "Storage", 0},
    {"diskmanagerEnter", K::BannerTab, G::Disk, L::Hover, kTabW, kTabH, kAccent, "Storage", 0},
    {"diskmanagerDown", K::BannerTab, G::Disk, L::Down, kTabW, kTabH, kAccent, "Storage", 0},
    {"appcleanerNom", K::BannerTab, G::Broom, L::Normal, kTabW, kTabH, kAccent, "Clean Up", 0},
    {"appcleanerEnter", K::BannerTab, G::Broom, L::Hover, kTabW, kTabH, kAccent, "Clean Up", 0},
    {"appcleanerDown", K::BannerTab, G::Broom, L::Down, kTabW, kTabH, kAccent, "Clean Up", 0},
    {"findlargefilesNom", K::BannerTab, G::LargeFile, L::Normal, kTabW, kTabH, kAccent, "Large Files", 0},
    {"findlargefilesEnter", K::BannerTab, G::LargeFile, L::Hover, kTabW, kTabH, kAccent, "Large Files", 0},
    {"findlargefilesDown", K::BannerTab, G::LargeFile, L::Down, kTabW, kTabH, kAccent, "Large Files", 0},
    {"onecilickcopyNom", K::BannerTab, G::Copy, L::Normal, kTabW, kTabH, kAccent, "Quick Copy", 0},
    {"onecilickcopyEnter", K::BannerTab, G::Copy, L::Hover, kTabW, kTabH, kAccent, "Quick Copy", 0},
    {"onecilickcopyDown", K::BannerTab, G::Copy, L::Down, kTabW, kTabH, kAccent, "Quick Copy", 0},
    {"privacyclean_Nom", K::BannerTab, G::Shield, L::Normal, kTabW, kTabH, kAccent, "Privacy", 0},
    {"privacyclean_Enter", K::BannerTab, G::Shield, L::Hover, kTabW, kTabH, kAccent, "Privacy", 0},
    {"privacyclean_Down", K::BannerTab, G::Shield, L::Down, kTabW, kTabH, kAccent, "Privacy", 0},
    {"SystemCleanup_Nom", K::BannerTab, G::Rocket, L::Normal, kTabW, kTabH, kAccent, "Boost", 0},
    {"SystemCleanup_Enter", K::BannerTab, G::Rocket, L::Hover, kTabW, kTabH, kAccent, "Boost", 0},
    {"SystemCleanup_Down", K::BannerTab, G::Rocket, L::Down, kTabW, kTabH, kAccent, "Boost", 0},

    // Preference window tabs (variant 1: on a light ground): shown tab and the others.
    {"generalNom", K::BannerTab, G::Gear, L::Normal, 96, 36, kAccent, "General", 1},
    {"generalDown", K::BannerTab, G::Gear, L::Down, 96, 36, kAccent, "General", 1},
    {"cleanupNom", K::BannerTab, G::Broom, L::Normal, 96, 36, kAccent, "Clean Up", 1},
    {"cleanupDown", K::BannerTab, G::Broom, L::Down, 96, 36, kAccent, "Clean Up", 1},
    {"oneclickcopySmallNom", K::BannerTab, G::Copy, L::Normal, 96, 36, kAccent, "Copy", 1},
    {"oneclickcopySmallDown", K::BannerTab, G::Copy, L::Down, 96, 36, kAccent, "Copy", 1},

    // Sidebar entries: "01" unselected (grey row), "02" selected (blue row).
    {"iDeviceStartup01", K::SidebarIcon, G::Phone, L::Normal, kSide, kSide, kSlate, nullptr, 0},
    {"iDeviceStartup02", K::SidebarIcon, G::Phone, L::Down, kSide, kSide, kWhite, nullptr, 0},
    {"SystemLibrary01", K::SidebarIcon, G::Folder, L::Normal, kSide, kSide, kSlate, nullptr, 0},
    {"SystemLibrary02", K::SidebarIcon, G::Folder, L::Down, kSide, kSide, kWhite, nullptr, 0},
    {"app01", K::SidebarIcon, G::Apps, L::Normal, kSide, kSide, kSlate, nullptr, 0},
    {"app02", K::SidebarIcon, G::Apps, L::Down, kSide, kSide, kWhite, nullptr, 0},
    {"photos01", K::SidebarIcon, G::Photo, L::Normal, kSide, kSide, kSlate, nullptr, 0},
    {"photos02", K::SidebarIcon, G::Photo, L::Down, kSide, kSide, kWhite, nullptr, 0},
    {"music01", K::SidebarIcon, G::Music, L::Normal, kSide, kSide, kSlate, nullptr, 0},
    {"music02", K::SidebarIcon, G::Music, L::Down, kSide, kSide, kWhite, nullptr, 0},
    {"videos01", K::SidebarIcon, G::Video, L::Normal, kSide, kSide, kSlate, nullptr, 0},
    {"videos02", K::SidebarIcon, G::Video, L::Down, kSide, kSide, kWhite, nullptr, 0},
    {"TempJunkFiles01", K::SidebarIcon, G::Trash, L::Normal, kSide, kSide, kSlate, nullptr, 0},
    {"TempJunkFiles02", K::SidebarIcon, G::Trash, L::Down, kSide, kSide, kWhite, nullptr, 0},
    {"CacheFiles01", K::SidebarIcon, G::Cache, L::Normal, kSide, kSide, kSlate, nullptr, 0},
    {"CacheFiles02", K::SidebarIcon, G::Cache, L::Down, kSide, kSide, kWhite, nullptr, 0},
    {"CookiesScriptFiles01", K::SidebarIcon, G::Cookie, L::Normal, kSide, kSide, kSlate, nullptr, 0},
    {"CookiesScriptFiles02", K::SidebarIcon, G::Cookie, L::Down, kSide, kSide, kWhite, nullptr, 0},
    {"SyncfailedMedia01", K::SidebarIcon, G::Sync, L::Normal, kSide, kSide, kSlate, nullptr, 0},
    {"SyncfailedMedia02", K::SidebarIcon, G::Sync, L::Down, kSide, kSide, kWhite, nullptr, 0},
    {"BackupiDevice01", K::SidebarIcon, G::Backup, L::Normal, kSide, kSide, kSlate, nullptr, 0},
    {"BackupiDevice02", K::SidebarIcon, G::Backup, L::Down, kSide, kSide, kWhite, nullptr, 0},
    {"BackupBroswer01", K::SidebarIcon, G::History, L::Normal, kSide, kSide, kSlate, nullptr, 0},
    {"BackupBroswer02", K::SidebarIcon, G::History, L::Down, kSide, kSide, kWhite, nullptr, 0},
    {"ConnectDevice01", K::SidebarIcon, G::Plug, L::Normal, kSide, kSide, kSlate, nullptr, 0},
    {"ConnectDevice02", K::SidebarIcon, G::Plug, L::Down, kSide, kSide, kWhite, nullptr, 0},
    {"transContactNom", K::SidebarIcon, G::Person, L::Normal, kSide, kSide, kSlate, nullptr, 0},
    {"transContactDown", K::SidebarIcon, G::Person, L::Down, kSide, kSide, kWhite, nullptr, 0},
    {"transMessageNom", K::SidebarIcon, G::Chat, L::Normal, kSide, kSide, kSlate, nullptr, 0},
    {"transMessageDown", K::SidebarIcon, G::Chat, L::Down, kSide, kSide, kWhite, nullptr, 0},
    {"transNoteNom", K::SidebarIcon, G::Note, L::Normal, kSide, kSide, kSlate, nullptr, 0},
    {"transNoteDown", K::SidebarIcon, G::Note, L::Down, kSide, kSide, kWhite, nullptr, 0},

    // Storage category tiles: normal and hover.
    {"photos_Nom", K::CategoryTile, G::Photo, L::Normal, kTileW, kTileH, kOrange, nullptr, 0},
    {"photos_Enter", K::CategoryTile, G::Photo, L::Hover, kTileW, kTileH, kOrange, nullptr, 0},
    {"musics_Nom", K::CategoryTile, G::Music, L::Normal, kTileW, kTileH, kPink, nullptr, 0},
    {"musics_Enter", K::CategoryTile, G::Music, L::Hover, kTileW, kTileH, kPink, nullptr, 0},
    {"books_Nom", K::CategoryTile, G::Book, L::Normal, kTileW, kTileH, kPurple, nullptr, 0},
    {"books_Enter", K::CategoryTile, G::Book, L::Hover, kTileW, kTileH, kPurple, nullptr, 0},
    {"videos_Nom", K::CategoryTile, G::Video, L::Normal, kTileW, kTileH, kGreen, nullptr, 0},
    {"videos_Enter", K::CategoryTile, G::Video, L::Hover, kTileW, kTileH, kGreen, nullptr, 0},
    {"userapps_Nom", K::CategoryTile, G::Apps, L::Normal, kTileW, kTileH, kAccent, nullptr, 0},
    {"userapps_Enter", K::CategoryTile, G::Apps, L::Hover, kTileW, kTileH, kAccent, nullptr, 0},
    {"systemapps_Nom", K::CategoryTile, G::Cpu, L::Normal, kTileW, kTileH, kSlate, nullptr, 0},
    {"systemapps_Enter", K::CategoryTile, G::Cpu, L::Hover, kTileW, kTileH, kSlate, nullptr, 0},
    {"userdata_Nom", K::CategoryTile, G::UserData, L::Normal, kTileW, kTileH, kTeal, nullptr, 0},
    {"userdata_Enter", K::CategoryTile, G::UserData, L::Hover, kTileW, kTileH, kTeal, nullptr, 0},

    // Window buttons; variant 1 is the framed look used on older systems.
    {"Close_Nom", K::TitleBarButton, G::Cross, L::Normal, 14, 14, kRed, nullptr, 0},
    {"Close_Down", K::TitleBarButton, G::Cross, L::Down, 14, 14, kRed, nullptr, 0},
    {"Min_Nom", K::TitleBarButton, G::Minus, L::Normal, 14, 14, kYellow, nullptr, 0},
    {"Resize_Nom", K::TitleBarButton, G::Plus, L::Normal, 14, 14, kGreen, nullptr, 0},
    {"titlebarred", K::TitleBarButton, G::Cross, L::Normal, 14, 14, kRed, nullptr, 1},
    {"titlebarreddown", K::TitleBarButton, G::Cross, L::Down, 14, 14, kRed, nullptr, 1},
    {"titlebaryellow", K::TitleBarButton, G::Minus, L::Normal, 14, 14, kYellow, nullptr, 1},
    {"titlebargreen", K::TitleBarButton, G::Plus, L::Normal, 14, 14, kGreen, nullptr, 1},

    // Tick boxes: variant 0 unticked, 1 ticked, 2 partly ticked.
    {"unselectedstate", K::CheckBox, G::None, L::Normal, 16, 16, kAccent, nullptr, 0},
    {"selectedstate", K::CheckBox, G::Check, L::Normal, 16, 16, kAccent, nullptr, 1},
    {"unselected", K::CheckBox, G::None, L::Normal, 16, 16, kAccent, nullptr, 0},
    {"selected", K::CheckBox, G::Check, L::Normal, 16, 16, kAccent, nullptr, 1},
    {"selectedSome", K::CheckBox, G::Minus, L::Normal, 16, 16, kAccent, nullptr, 2},
    // The copy page shows "button_on" when its option turns off and "button_off" when it turns
    // on, so each is drawn in the look of the state it stands for.
    {"button_on", K::CheckBox, G::None, L::Normal, 18, 18, kAccent, nullptr, 0},
    {"button_off", K::CheckBox, G::Check, L::Normal, 18, 18, kAccent, nullptr, 1},
    // The copy page's marks of a row that ended: done, or failed.
    {"copyDone", K::CheckBox, G::Check, L::Normal, 18, 18, kGreen, nullptr, 1},
    {"copyFailed", K::TitleBarButton, G::Cross, L::Normal, 18, 18, kRed, nullptr, 0},

    // Busy spinner.
    {"load", K::Spinner, G::None, L::Normal, 32, 32, kAccent, nullptr, 0},

    // Devices. Variant 0 still; 1-6 scan frames; 11-17 clean-up frames; 20 connect prompt.
    {"iphoneImage", K::DevicePicture, G::Phone, L::Normal, kPhoneW, kPhoneH, kSlate, nullptr, 0},
    {"ipadImage", K::DevicePicture, G::Tablet, L::Normal, 170, kPhoneH, kSlate, nullptr, 0},
    {"iphone", K::DevicePicture, G::Phone, L::Normal, 32, 32, kSlate, nullptr, 0},
    {"ipad", K::DevicePicture, G::Tablet, L::Normal, 32, 32, kSlate, nullptr, 0},
    {"connectdevice", K::DevicePicture, G::Phone, L::Normal, 220, 220, kSlate, nullptr, 20},
    {"scaniphone1", K::DevicePicture, G::Phone, L::Normal, kPhoneW, kPhoneH, kAccent, nullptr, 1},
    {"scaniphone2", K::DevicePicture, G::Phone, L::Normal, kPhoneW, kPhoneH, kAccent, nullptr, 2},
    {"scaniphone3", K::DevicePicture, G::Phone, L::Normal, kPhoneW, kPhoneH, kAccent, nullptr, 3},
    {"scaniphone4", K::DevicePicture, G::Phone, L::Normal, kPhoneW, kPhoneH, kAccent, nullptr, 4},
    {"scaniphone5", K::DevicePicture, G::Phone, L::Normal, kPhoneW, kPhoneH, kAccent, nullptr, 5},
    {"scaniphone6", K::DevicePicture, G::Phone, L::Normal, kPhoneW, kPhoneH, kAccent, nullptr, 6},
    {"cleaniphone1", K::DevicePicture, G::Phone, L::Normal, kPhoneW, kPhoneH, kGreen, nullptr, 11},
    {"cleaniphone2", K::DevicePicture, G::Phone, L::Normal, kPhoneW, kPhoneH, kGreen, nullptr, 12},
    {"cleaniphone3", K::DevicePicture, G::Phone, L::Normal, kPhoneW, kPhoneH, kGreen, nullptr, 13},
    {"cleaniphone4", K::DevicePicture, G::Phone, L::Normal, kPhoneW, kPhoneH, kGreen, nullptr, 14},
    {"cleaniphone5", K::DevicePicture, G::Phone, L::Normal, kPhoneW, kPhoneH, kGreen, nullptr, 15},
    {"cleaniphone6", K::DevicePicture, G::Phone, L::Normal, kPhoneW, kPhoneH, kGreen, nullptr, 16},
    {"cleaniphone7", K::DevicePicture, G::Phone, L::Normal, kPhoneW, kPhoneH, kGreen, nullptr, 17},

    // Backgrounds and strips: variant 0 plain, 1 line at the bottom, 2 line at the top,
    // 3 line at the right, 4 rounded card.
    {"leftground", K::Backdrop, G::None, L::Normal, 180, 600, kSurface, nullptr, 3},
    {"WindowTopImage", K::Backdrop, G::None, L::Normal, 960, 64, kAccent, nullptr, 0},
    {"topInfoImage", K::Backdrop, G::None, L::Normal, 600, 80, kWhite, nullptr, 1},
    {"windowContentImage", K::Backdrop, G::None, L::Normal, 780, 520, kWhite, nullptr, 0},
    {"mainBottomImage", K::Backdrop, G::None, L::Normal, 960, 40, kEntryGrey, nullptr, 2},
    {"noDeviceBottom", K::Backdrop, G::None, L::Normal, 960, 40, kEntryGrey, nullptr, 2},
    {"bottomGroundImage", K::Backdrop, G::None, L::Normal, 960, 36, kEntryGrey, nullptr, 2},
    {"bottom", K::Backdrop, G::None, L::Normal, 960, 30, kEntryGrey, nullptr, 2},
    {"updateainBottomImage", K::Backdrop, G::None, L::Normal, 480, 50, kEntryGrey, nullptr, 2},
    {"whitewindowtitleimage", K::Backdrop, G::None, L::Normal, 480, 28, kWhite, nullptr, 1},
    {"tabHeadImage", K::Backdrop, G::None, L::Normal, 600, 32, kSurface, nullptr, 1},
    {"messageGround", K::Backdrop, G::None, L::Normal, 400, 300, 0xffeef3fa, nullptr, 4},
    {"progressGorund", K::Backdrop, G::None, L::Normal, 500, 24, kSurface, nullptr, 4},
    {"whiteimg", K::Backdrop, G::None, L::Normal, 200, 200, kWhite, nullptr, 0},
    {"backgroundlog", K::Backdrop, G::None, L::Normal, 600, 400, kSurface, nullptr, 0},
    {"chatHead", K::Backdrop, G::None, L::Normal, 425, 76, 0xffe8eff9, nullptr, 1},

    // Chat bubble tiles (variant = row * 3 + column): received grey, sent green.
    {"Grytopl", K::BubbleTile, G::None, L::Normal, 12, 12, kBubbleGrey, nullptr, 0},
    {"Grytop", K::BubbleTile, G::None, L::Normal, 12, 12, kBubbleGrey, nullptr, 1},
    {"Grytopr", K::BubbleTile, G::None, L::Normal, 12, 12, kBubbleGrey, nullptr, 2},
    {"Grycenterl", K::BubbleTile, G::None, L::Normal, 12, 12, kBubbleGrey, nullptr, 3},
    {"Grycenter", K::BubbleTile, G::None, L::Normal, 12, 12, kBubbleGrey, nullptr, 4},
    {"Grycenterr", K::BubbleTile, G::None, L::Normal, 12, 12, kBubbleGrey, nullptr, 5},
    {"Grybottoml", K::BubbleTile, G::None, L::Normal, 12, 12, kBubbleGrey, nullptr, 6},
    {"Grybottom", K::BubbleTile, G::None, L::Normal, 12, 12, kBubbleGrey, nullptr, 7},
    {"Grybottomr", K::BubbleTile, G::None, L::Normal, 12, 12, kBubbleGrey, nullptr, 8},
    {"Greentopl", K::BubbleTile, G::None, L::Normal, 12, 12, kBubbleGreen, nullptr, 0},
    {"Greentop", K::BubbleTile, G::None, L::Normal, 12, 12, kBubbleGreen, nullptr, 1},
    {"Greentopr", K::BubbleTile, G::None, L::Normal, 12, 12, kBubbleGreen, nullptr, 2},
    {"Greencenterl", K::BubbleTile, G::None, L::Normal, 12, 12, kBubbleGreen, nullptr, 3},
    {"Greencenter", K::BubbleTile, G::None, L::Normal, 12, 12, kBubbleGreen, nullptr, 4},
    {"Greencenterr", K::BubbleTile, G::None, L::Normal, 12, 12, kBubbleGreen, nullptr, 5},
    {"Greenbottoml", K::BubbleTile, G::None, L::Normal, 12, 12, kBubbleGreen, nullptr, 6},
    {"Greenbottom", K::BubbleTile, G::None, L::Normal, 12, 12, kBubbleGreen, nullptr, 7},
    {"Greenbottomr", K::BubbleTile, G::None, L::Normal, 12, 12, kBubbleGreen, nullptr, 8},

    // Quick-scan window buttons; variant 1 is the secondary (outlined) look.
    {"scanbuttonnom", K::ActionButton, G::Search, L::Normal, 160, 44, kAccent, "Scan", 0},
    {"scanbuttonenter", K::ActionButton, G::Search, L::Hover, 160, 44, kAccent, "Scan", 0},
    {"scanbuttondown", K::ActionButton, G::Search, L::Down, 160, 44, kAccent, "Scan", 0},
    {"cleanupdevicenom", K::ActionButton, G::Broom, L::Normal, 160, 44, kGreen, "Clean Up", 0},
    {"cleanupdeviceenter", K::ActionButton, G::Broom, L::Hover, 160, 44, kGreen, "Clean Up", 0},
    {"cleanupdevicedown", K::ActionButton, G::Broom, L::Down, 160, 44, kGreen, "Clean Up", 0},
    {"rescannom", K::ActionButton, G::Refresh, L::Normal, 120, 36, kSlate, "Rescan", 1},
    {"rescanenter", K::ActionButton, G::Refresh, L::Hover, 120, 36, kSlate, "Rescan", 1},
    {"rescandown", K::ActionButton, G::Refresh, L::Down, 120, 36, kSlate, "Rescan", 1},
    {"quickscanmodenom", K::ActionButton, G::Lightning, L::Normal, 140, 32, kAccent, "Quick Scan", 0},
    {"quickscanmodeenter", K::ActionButton, G::Lightning, L::Hover, 140, 32, kAccent, "Quick Scan", 0},
    {"quickscanmodedown", K::ActionButton, G::Lightning, L::Down, 140, 32, kAccent, "Quick Scan", 0},
    {"deepcleanmodenom", K::ActionButton, G::Layers, L::Normal, 140, 32, kAccent, "Deep Clean", 0},
    {"deepcleanmodeenter", K::ActionButton, G::Layers, L::Hover, 140, 32, kAccent, "Deep Clean", 0},
    {"deepcleanmodedown", K::ActionButton, G::Layers, L::Down, 140, 32, kAccent, "Deep Clean", 0},
    {"deepscanbtnnom", K::ActionButton, G::Layers, L::Normal, 110, 28, kSlate, "Deep Scan", 1},
    {"deepscanenter", K::ActionButton, G::Layers, L::Hover, 110, 28, kSlate, "Deep Scan", 1},
    {"deepscandown", K::ActionButton, G::Layers, L::Down, 110, 28, kSlate, "Deep Scan", 1},
    {"infonom", K::Glyph, G::Info, L::Normal, 16, 16, kSlate, nullptr, 0},
    {"infodown", K::Glyph, G::Info, L::Down, 16, 16, kAccent, nullptr, 0},
    {"blow", K::Glyph, G::ChevronDown, L::Normal, 16, 16, kSlate, nullptr, 0},
    {"above", K::Glyph, G::ChevronUp, L::Normal, 16, 16, kSlate, nullptr, 0},

    // Page buttons.
    {"scanNom", K::ActionButton, G::Search, L::Normal, 120, 40, kAccent, "Scan", 0},
    {"scanDown", K::ActionButton, G::Search, L::Down, 120, 40, kAccent, "Scanning", 0},
    {"RemoveBtnNom", K::ActionButton, G::Trash, L::Normal, 120, 40, kRed, "Remove", 0},
    {"RemoveBtnDown", K::ActionButton, G::Trash, L::Down, 120, 40, kRed, "Remove", 0},
    {"doneNom", K::ActionButton, G::Check, L::Normal, 120, 40, kGreen, "Done", 0},
    {"startNom", K::ActionButton, G::Play, L::Normal, 120, 40, kAccent, "Start", 0},
    {"startDown", K::ActionButton, G::Play, L::Down, 120, 40, kAccent, "Start", 0},
    {"nextBtn", K::ActionButton, G::ChevronRight, L::Normal, 100, 32, kAccent, "Next", 0},
    {"Knowit", K::ActionButton, G::Check, L::Normal, 100, 32, kAccent, "Got it", 0},
    {"download_Down", K::ActionButton, G::Download, L::Down, 100, 28, kAccent, "Download", 0},
    {"arrowright", K::Glyph, G::ChevronRight, L::Normal, 16, 16, kAccent, nullptr, 0},
    {"arrowrightUnNom", K::Glyph, G::ChevronRight, L::Disabled, 16, 16, kSlate, nullptr, 0},
    {"reject", K::Glyph, G::Cross, L::Normal, 16, 16, kSlate, nullptr, 1},
    {"reject_down", K::Glyph, G::Cross, L::Down, 16, 16, kRed, nullptr, 1},
    {"uninstall", K::Glyph, G::Trash, L::Normal, 16, 16, kRed, nullptr, 0},
    {"NSInfo", K::Glyph, G::Info, L::Normal, 14, 14, kAccent, nullptr, 0},
    {"folder", K::Glyph, G::Folder, L::Normal, 16, 16, 0xff4f8fe6, nullptr, 1},
    {"bannerIcon", K::Glyph, G::Phone, L::Normal, 18, 18, 0xff303846, nullptr, 0},

    // Privacy categories: normal, hover, down.
    {"ContactCleanup_Nom", K::ListButton, G::Person, L::Normal, kListW, kListH, kAccent, "Contacts", 0},
    {"ContactCleanup_Enter", K::ListButton, G::Person, L::Hover, kListW, kListH, kAccent, "Contacts", 0},
    {"ContactCleanup_Down", K::ListButton, G::Person, L::Down, kListW, kListH, kAccent, "Contacts", 0},
    {"MessageCleanup_Nom", K::ListButton, G::Chat, L::Normal, kListW, kListH, kAccent, "Messages", 0},
    {"MessageCleanup_Enter", K::ListButton, G::Chat, L::Hover, kListW, kListH, kAccent, "Messages", 0},
    {"MessageCleanup_Down", K::ListButton, G::Chat, L::Down, kListW, kListH, kAccent, "Messages", 0},
    {"MessageAttachmentCleanup_Nom", K::ListButton, G::Attachment, L::Normal, kListW, kListH, kAccent, "Attachments", 0},
    {"MessageAttachmentCleanup_Enter", K::ListButton, G::Attachment, L::Hover, kListW, kListH, kAccent, "Attachments", 0},
    {"MessageAttachmentCleanup_Down", K::ListButton, G::Attachment, L::Down, kListW, kListH, kAccent, "Attachments", 0},
    {"SafariBrowseHistoryCleanup_Nom", K::ListButton, G::Globe, L::Normal, kListW, kListH, kAccent, "Browsing History", 0},
    {"SafariBrowseHistoryCleanup_Enter", K::ListButton, G::Globe, L::Hover, kListW, kListH, kAccent, "Browsing History", 0},
    {"SafariBrowseHistoryCleanup_Down", K::ListButton, G::Globe, L::Down, kListW, kListH, kAccent, "Browsing History", 0},
    {"SafariSeachHistoryCleanup_Nom", K::ListButton, G::Cookie, L::Normal, kListW, kListH, kAccent, "Cookies", 0},
    {"SafariSeachHistoryCleanup_Enter", K::ListButton, G::Cookie, L::Hover, kListW, kListH, kAccent, "Cookies", 0},
    {"SafariSeachHistoryCleanup_Down", K::ListButton, G::Cookie, L::Down, kListW, kListH, kAccent, "Cookies", 0},
    {"WebCacheCleanup_Nom", K::ListButton, G::Cache, L::Normal, kListW, kListH, kAccent, "Web Cache", 0},
    {"WebCacheCleanup_Enter", K::ListButton, G::Cache, L::Hover, kListW, kListH, kAccent, "Web Cache", 0},
    {"WebCacheCleanup_Down", K::ListButton, G::Cache, L::Down, kListW, kListH, kAccent, "Web Cache", 0},
    {"KeybroadInputCleanup_Nom", K::ListButton, G::Keyboard, L::Normal, kListW, kListH, kAccent, "Keyboard", 0},
    {"KeybroadInputCleanup_Enter", K::ListButton, G::Keyboard, L::Hover, kListW, kListH, kAccent, "Keyboard", 0},
    {"KeybroadInputCleanup_Down", K::ListButton, G::Keyboard, L::Down, kListW, kListH, kAccent, "Keyboard", 0},
    {"WifiConnectionRecordCleanup_Nom", K::ListButton, G::Wifi, L::Normal, kListW, kListH, kAccent, "Wi-Fi", 0},
    {"WifiConnectionRecordCleanup_Enter", K::ListButton, G::Wifi, L::Hover, kListW, kListH, kAccent, "Wi-Fi", 0},
    {"WifiConnectionRecordCleanup_Down", K::ListButton, G::Wifi, L::Down, kListW, kListH, kAccent, "Wi-Fi", 0},
    {"GPSLocationRecordCleanup_Nom", K::ListButton, G::Location, L::Normal, kListW, kListH, kAccent, "Locations", 0},
    {"GPSLocationRecordCleanup_Enter", K::ListButton, G::Location, L::Hover, kListW, kListH, kAccent, "Locations", 0},
    {"GPSLocationRecordCleanup_Down", K::ListButton, G::Location, L::Down, kListW, kListH, kAccent, "Locations", 0},
    {"NoteCleanup_Nom", K::ListButton, G::Note, L::Normal, kListW, kListH, kAccent, "Notes", 0},
    {"NoteCleanup_Enter", K::ListButton, G::Note, L::Hover, kListW, kListH, kAccent, "Notes", 0},
    {"NoteCleanup_Down", K::ListButton, G::Note, L::Down, kListW, kListH, kAccent, "Notes", 0},
    {"CallHistoryCleanup_Nom", K::ListButton, G::Call, L::Normal, kListW, kListH, kAccent, "Call History", 0},
    {"CallHistoryCleanup_Enter", K::ListButton, G::Call, L::Hover, kListW, kListH, kAccent, "Call History", 0},
    {"CallHistoryCleanup_Down", K::ListButton, G::Call, L::Down, kListW, kListH, kAccent, "Call History", 0},

    // Backup browser categories: normal and chosen ("On"; the file tree's is "Down").
    {"phone&videoNom", K::ListButton, G::Photo, L::Normal, kListW, kListH, kAccent, "Photos & Videos", 0},
    {"phone&videoOn", K::ListButton, G::Photo, L::Down, kListW, kListH, kAccent, "Photos & Videos", 0},
    {"contactNom", K::ListButton, G::Person, L::Normal, kListW, kListH, kAccent, "Contacts", 0},
    {"contactOn", K::ListButton, G::Person, L::Down, kListW, kListH, kAccent, "Contacts", 0},
    {"messageNom", K::ListButton, G::Chat, L::Normal, kListW, kListH, kAccent, "Messages", 0},
    {"messageOn", K::ListButton, G::Chat, L::Down, kListW, kListH, kAccent, "Messages", 0},
    {"noteNom", K::ListButton, G::Note, L::Normal, kListW, kListH, kAccent, "Notes", 0},
    {"noteOn", K::ListButton, G::Note, L::Down, kListW, kListH, kAccent, "Notes", 0},
    {"callNom", K::ListButton, G::Call, L::Normal, kListW, kListH, kAccent, "Call History", 0},
    {"callOn", K::ListButton, G::Call, L::Down, kListW, kListH, kAccent, "Call History", 0},
    {"Safari-BookMarkNom", K::ListButton, G::Bookmark, L::Normal, kListW, kListH, kAccent, "Bookmarks", 0},
    {"Safari-BookMarkOn", K::ListButton, G::Bookmark, L::Down, kListW, kListH, kAccent, "Bookmarks", 0},
    {"CalendarReminderNom", K::ListButton, G::Calendar, L::Normal, kListW, kListH, kAccent, "Calendar", 0},
    {"CalendarReminderOn", K::ListButton, G::Calendar, L::Down, kListW, kListH, kAccent, "Calendar", 0},
    {"TwitterFaceBookNom", K::ListButton, G::Social, L::Normal, kListW, kListH, kAccent, "Social Apps", 0},
    {"TwitterFaceBookOn", K::ListButton, G::Social, L::Down, kListW, kListH, kAccent, "Social Apps", 0},
    {"backupborswerNom", K::ListButton, G::Folder, L::Normal, kListW, kListH, kAccent, "Backup Files", 0},
    {"backupborswerDown", K::ListButton, G::Folder, L::Down, kListW, kListH, kAccent, "Backup Files", 0},

    // Privacy scan progress: pictures and the three-step strip.
    {"pic1", K::Illustration, G::Search, L::Normal, 64, 64, kAccent, nullptr, 0},
    {"pic2", K::Illustration, G::Broom, L::Normal, 64, 64, kGreen, nullptr, 0},
    {"step1", K::StepStrip, G::None, L::Normal, 200, 24, kAccent, nullptr, 1},
    {"step2", K::StepStrip, G::None, L::Normal, 200, 24, kAccent, nullptr, 2},
    {"step3", K::StepStrip, G::None, L::Normal, 200, 24, kAccent, nullptr, 3},

    // Guide sheet: step pictures and step strips.
    {"firstSteppic", K::Illustration, G::Power, L::Normal, 240, 160, kAccent, nullptr, 0},
    {"secondStepPic", K::Illustration, G::Backup, L::Normal, 240, 160, kAccent, nullptr, 0},
    {"thirdSteppic", K::Illustration, G::Refresh, L::Normal, 240, 160, kGreen, nullptr, 0},
    {"firstStep", K::StepStrip, G::None, L::Normal, 200, 24, kAccent, nullptr, 1},
    {"secondStep", K::StepStrip, G::None, L::Normal, 200, 24, kAccent, nullptr, 2},
    {"thirdStep", K::StepStrip, G::None, L::Normal, 200, 24, kAccent, nullptr, 3},

    // Placeholders and content pictures.
    {"NULLImage", K::AppTile, G::None, L::Disabled, 57, 57, kEntryGrey, nullptr, 0},
    {"appstore", K::AppTile, G::Store, L::Normal, 57, 57, kAccent, nullptr, 0},
    // Built-in apps of the storage manager's system-app list (named with their ".tiff").
    {"Passbookapp.tiff", K::AppTile, G::Document, L::Normal, 57, 57, 0xff303846, nullptr, 0},
    {"Calculatorapp.tiff", K::AppTile, G::Plus, L::Normal, 57, 57, kOrange, nullptr, 0},
    {"Notesapp.tiff", K::AppTile, G::Note, L::Normal, 57, 57, kYellow, nullptr, 0},
    {"Photosapp.tiff", K::AppTile, G::Photo, L::Normal, 57, 57, kOrange, nullptr, 0},
    {"Messagesapp.tiff", K::AppTile, G::Chat, L::Normal, 57, 57, kGreen, nullptr, 0},
    {"Safariapp.tiff", K::AppTile, G::Globe, L::Normal, 57, 57, kAccent, nullptr, 0},
    {"Videosapp.tiff", K::AppTile, G::Video, L::Normal, 57, 57, 0xff303846, nullptr, 0},
    {"Musicapp.tiff", K::AppTile, G::Music, L::Normal, 57, 57, kPink, nullptr, 0},
    {"Mailapp.tiff", K::AppTile, G::Attachment, L::Normal, 57, 57, kAccent, nullptr, 0},
    {"Clockapp.tiff", K::AppTile, G::History, L::Normal, 57, 57, 0xff303846, nullptr, 0},
    {"Mapsapp.tiff", K::AppTile, G::Location, L::Normal, 57, 57, kGreen, nullptr, 0},
    {"Contactsapp.tiff", K::AppTile, G::Person, L::Normal, 57, 57, kSlate, nullptr, 0},
    {"Settingsapp.tiff", K::AppTile, G::Gear, L::Normal, 57, 57, kSlate, nullptr, 0},
    {"Game Centerapp.tiff", K::AppTile, G::Rocket, L::Normal, 57, 57, kPurple, nullptr, 0},
    {"FaceTimeapp.tiff", K::AppTile, G::Video, L::Normal, 57, 57, kGreen, nullptr, 0},
    {"Phoneapp.tiff", K::AppTile, G::Call, L::Normal, 57, 57, kGreen, nullptr, 0},
    {"Calendar Officialapp.tiff", K::AppTile, G::Calendar, L::Normal, 57, 57, kRed, nullptr, 0},
    {"Cameraapp.tiff", K::AppTile, G::Photo, L::Normal, 57, 57, kSlate, nullptr, 0},
    {"Weatherapp.tiff", K::AppTile, G::Lightning, L::Normal, 57, 57, kTeal, nullptr, 0},
    {"Remindersapp.tiff", K::AppTile, G::Check, L::Normal, 57, 57, kAccent, nullptr, 0},
    {"defaultMuisc", K::AppTile, G::Music, L::Normal, 128, 128, kPink, nullptr, 0},
    {"music", K::AppTile, G::Music, L::Normal, 128, 128, kPurple, nullptr, 0},
    {"document", K::Illustration, G::Document, L::Normal, 64, 64, kSlate, nullptr, 0},
    {"contact", K::Illustration, G::Person, L::Normal, 64, 64, kSlate, nullptr, 0},
    {"Contact", K::Illustration, G::Person, L::Normal, 240, 130, kAccent, nullptr, 1},
    {"quicktime", K::Illustration, G::Play, L::Normal, 64, 64, kAccent, nullptr, 0},
    {"location", K::Illustration, G::Location, L::Normal, 64, 64, kRed, nullptr, 0},
    {"AppIcon", K::AppTile, G::Phone, L::Normal, 256, 256, kAccent, nullptr, 1},
});
// clang-format on

using Index = QHash<QString, const ImageRecipe*>;

Index buildIndex() {
    Index index;
    index.reserve(static_cast<qsizetype>(kCatalog.size()));
    for (const ImageRecipe& recipe : kCatalog) {
        index.insert(QString::fromLatin1(recipe.name), &recipe);
    }
    return index;
}

}  // namespace

std::span<const ImageRecipe> imageCatalog() {
    return kCatalog;
}

const ImageRecipe* findImageRecipe(QStringView name) {
    static const Index index = buildIndex();
    return index.value(name.toString(), nullptr);
}

}  // namespace nimbara::ui
