// What the virtual printer knows: its identity, the state commands change, and the
// physical conditions tests control.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/PrinterIdentity.h"

namespace QVO::Sim {

// A one-bit image, one byte per dot (0 white, 1 black), row-major. Copyable value.
struct MonoImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> dots;
    bool empty() const { return width <= 0 || height <= 0; }
    uint8_t at(int x, int y) const { return dots[size_t(y) * size_t(width) + size_t(x)]; }
};

enum class PaperLevel { Normal, NearEnd, Empty };

// Physical conditions under test control. Copyable value.
struct PrinterConditions {
    bool coverOpen = false;
    PaperLevel paper = PaperLevel::Normal;
    bool drawerOpen = false;
    bool drawerOpenLevel = true;  // connector level the sensor reports while the drawer is open
    int drawerAutoCloseMs = -1;   // < 0: the drawer stays open until told to close
    bool offlineSwitch = false;
    bool mute = false;            // answers nothing: no status, no ID, no ASB
    uint32_t bytesPerSecond = 0;  // 0: unlimited
    bool Offline() const { return offlineSwitch || coverOpen || paper == PaperLevel::Empty; }
    bool DrawerLevel() const { return drawerOpen == drawerOpenLevel; }
};

struct BarcodeSettings {
    int height = 162;
    int moduleWidth = 3;
    int hriPosition = 0;  // 0 none, 1 above, 2 below, 3 both
    int hriFont = 0;
};

struct Pdf417Settings {
    int columns = 0;
    int rows = 0;
    int moduleWidth = 3;
    int rowHeight = 3;
    int errorMode = 48;  // 48: level, 49: ratio
    int errorValue = 49;
    bool truncated = false;
    std::vector<uint8_t> data;
};

struct QrSettings {
    int model = 50;
    int moduleSize = 3;
    int errorLevel = 48;  // 48 L, 49 M, 50 Q, 51 H
    std::vector<uint8_t> data;
};

struct PageArea {
    int x = 0, y = 0, width = 0, height = 0;
};

// The settings commands change; ESC @ and a power cycle restore the defaults (except the
// non-volatile images). Copyable value.
struct PrinterState {
    int font = 0;  // 0 A, 1 B
    bool emphasized = false;
    bool doubleStrike = false;
    int underline = 0;  // 0, 1, 2 dots
    bool reverse = false;
    int widthMul = 1;
    int heightMul = 1;
    int justification = 0;  // 0 left, 1 centre, 2 right
    int leftMargin = 0;
    int printAreaWidth = 0;  // 0 until set from the identity
    int lineSpacing = -1;    // vertical units; < 0 = default (1/6 inch)
    int charSpacing = 0;
    int codeTable = 0;
    int intlSet = 0;
    bool kanji = false;
    bool upsideDown = false;
    bool rotate90 = false;
    bool smoothing = false;
    bool peripheralEnabled = true;
    bool pageMode = false;
    PageArea pageArea;
    int pageDirection = 0;
    int asbMask = 0;
    BarcodeSettings barcode;
    Pdf417Settings pdf417;
    QrSettings qr;
    MonoImage bufferGraphics;
    MonoImage downloadedImage;
    std::map<int, MonoImage> nvImages;  // key: kc1 << 8 | kc2, or the FS q number
    std::vector<int> tabStops;
    int fullCuts = 0;
    int partialCuts = 0;
    int drawerPulses = 0;
    int buzzerCount = 0;
    uint64_t textBytes = 0;
};

// The line spacing in vertical motion units: ESC 3 n, else the default 1/6 inch.
int LineSpacingUnits(const PrinterIdentity& identity, const PrinterState& state);

}  // namespace QVO::Sim
