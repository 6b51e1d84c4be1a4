#pragma once

#include <QRgb>
#include <QStringView>

#include <cstdint>
#include <span>

namespace nimbara::ui {

// What an image is; each kind has its own painter (image_catalog_render.cpp).
enum class ImageKind : std::uint8_t {
    BannerTab,       // feature tab in the window banner: glyph and short label
    SidebarIcon,     // small outline glyph; "selected" variants are white for a blue row
    ListButton,      // category button in a page's side list: glyph and label
    CategoryTile,    // storage category tile: large glyph on a card
    ActionButton,    // rounded push button with a short label
    TitleBarButton,  // round window button (close, minimise, zoom)
    CheckBox,        // tick box: unticked, ticked or partly ticked
    Spinner,         // busy spinner frame
    DevicePicture,   // phone or tablet drawing, optionally an animation frame
    Backdrop,        // background or strip: gradient with optional edge line
    BubbleTile,      // one of the nine tiles of a chat bubble
    StepStrip,       // three step dots with one highlighted
    Illustration,    // glyph on a soft round badge
    Glyph,           // plain glyph on a transparent ground
    AppTile,         // rounded square tile with a glyph, as an app icon
};

// Vector glyphs drawn by image_catalog_glyphs.cpp.
enum class Glyph : std::uint8_t {
    None,
    Phone,
    Tablet,
    Disk,
    Broom,
    LargeFile,
    Copy,
    Shield,
    Rocket,
    Folder,
    Apps,
    Photo,
    Music,
    Video,
    Book,
    Trash,
    Cache,
    Cookie,
    Sync,
    Backup,
    History,
    Person,
    Chat,
    Note,
    Call,
    Bookmark,
    Calendar,
    Social,
    Attachment,
    Globe,
    Search,
    Keyboard,
    Wifi,
    Location,
    Info,
    ChevronRight,
    ChevronDown,
    ChevronUp,
    Cross,
    Minus,
    Plus,
    Check,
    Play,
    Document,
    Download,
    Gear,
    Store,
    Plug,
    Refresh,
    Layers,
    Lightning,
    UserData,
    Cpu,
    Power,
};

// The look of one state of a control.
enum class ImageLook : std::uint8_t {
    Normal,    // resting
    Hover,     // mouse inside
    Down,      // pressed or selected
    Disabled,  // greyed out
};

struct ImageRecipe {
    const char* name;  // without ".png"
    ImageKind kind;
    Glyph glyph;
    ImageLook look;
    std::int16_t width;
    std::int16_t height;
    QRgb colour;          // base colour of the kind
    const char* label;    // short caption, or nullptr
    std::int8_t variant;  // frame number, tile number or state, by kind; 0 when unused
};

// Every image the application can draw, in table order.
std::span<const ImageRecipe> imageCatalog();

// The recipe called `name` (without ".png"; case matters), or nullptr.
const ImageRecipe* findImageRecipe(QStringView name);

}  // namespace nimbara::ui
