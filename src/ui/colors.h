// The main window's colours. Each is a COLORREF value (0x00BBGGRR, red in the
// low byte) kept in a plain uint32_t, so portable code can compare them and
// _win code hands them to GDI unchanged.
#pragma once

#include <cstdint>

using UiColor = uint32_t;

constexpr UiColor MakeUiColor(uint8_t red, uint8_t green, uint8_t blue) {
    return static_cast<UiColor>(red) | static_cast<UiColor>(green) << 8 | static_cast<UiColor>(blue) << 16;
}

constexpr UiColor kColorWhite = MakeUiColor(255, 255, 255);
constexpr UiColor kColorAccent = MakeUiColor(37, 99, 235);           // links, focus, card arrow
constexpr UiColor kColorText = MakeUiColor(24, 39, 60);              // ordinary text, card titles
constexpr UiColor kColorMuted = MakeUiColor(100, 116, 139);          // disabled links, descriptions
constexpr UiColor kColorError = MakeUiColor(185, 28, 28);
constexpr UiColor kColorSuccess = MakeUiColor(21, 128, 61);
constexpr UiColor kColorWarning = MakeUiColor(180, 83, 9);
constexpr UiColor kColorSeparator = MakeUiColor(226, 232, 240);      // footer line, idle card border
constexpr UiColor kColorFrameIdle = MakeUiColor(148, 163, 184);      // root box without focus
constexpr UiColor kColorAlert = MakeUiColor(220, 38, 38);            // help link blinking
constexpr UiColor kColorCardFace = MakeUiColor(248, 250, 252);
constexpr UiColor kColorCardFacePressed = MakeUiColor(239, 246, 255);
