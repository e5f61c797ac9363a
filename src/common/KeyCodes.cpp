// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/KeyCodes.h"

#include <Qt>

#include <unordered_map>

namespace {

constexpr int NoCodeOfItsOwn = 255;

int keypadCode(int qtKey)
{
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) {
        return 96 + (qtKey - Qt::Key_0); // VK_NUMPAD0..9
    }
    switch (qtKey) {
    case Qt::Key_Asterisk:
        return 106; // VK_MULTIPLY
    case Qt::Key_Plus:
        return 107; // VK_ADD
    case Qt::Key_Comma:
        return 108; // VK_SEPARATOR
    case Qt::Key_Minus:
        return 109; // VK_SUBTRACT
    case Qt::Key_Period:
        return 110; // VK_DECIMAL
    case Qt::Key_Slash:
        return 111; // VK_DIVIDE
    default:
        return 0; // Enter and the navigation keys of the keypad keep their usual codes
    }
}

const std::unordered_map<int, int> &codes()
{
    static const std::unordered_map<int, int> table = {
        {Qt::Key_Cancel, 3},
        {Qt::Key_Backspace, 8},
        {Qt::Key_Tab, 9},
        {Qt::Key_Backtab, 9},
        {Qt::Key_Clear, 12},
        {Qt::Key_Return, 13},
        {Qt::Key_Enter, 13},
        {Qt::Key_Shift, 16},
        {Qt::Key_Control, 17},
        {Qt::Key_Alt, 18},
        {Qt::Key_AltGr, 18},
        {Qt::Key_Pause, 19},
        {Qt::Key_CapsLock, 20},
        {Qt::Key_Kana_Lock, 21},
        {Qt::Key_Kana_Shift, 21},
        {Qt::Key_Hangul, 21},
        {Qt::Key_Hangul_Hanja, 25},
        {Qt::Key_Kanji, 25},
        {Qt::Key_Escape, 27},
        {Qt::Key_Henkan, 28},
        {Qt::Key_Muhenkan, 29},
        {Qt::Key_Mode_switch, 31},
        {Qt::Key_Space, 32},
        {Qt::Key_PageUp, 33},
        {Qt::Key_PageDown, 34},
        {Qt::Key_End, 35},
        {Qt::Key_Home, 36},
        {Qt::Key_Left, 37},
        {Qt::Key_Up, 38},
        {Qt::Key_Right, 39},
        {Qt::Key_Down, 40},
        {Qt::Key_Select, 41},
        {Qt::Key_Printer, 42},
        {Qt::Key_Execute, 43},
        {Qt::Key_Print, 44},
        {Qt::Key_SysReq, 44},
        {Qt::Key_Insert, 45},
        {Qt::Key_Delete, 46},
        {Qt::Key_Help, 47},
        // The digit keys with Shift (US layout) are still the digit keys.
        {Qt::Key_ParenRight, 48},
        {Qt::Key_Exclam, 49},
        {Qt::Key_At, 50},
        {Qt::Key_NumberSign, 51},
        {Qt::Key_Dollar, 52},
        {Qt::Key_Percent, 53},
        {Qt::Key_AsciiCircum, 54},
        {Qt::Key_Ampersand, 55},
        {Qt::Key_Asterisk, 56},
        {Qt::Key_ParenLeft, 57},
        {Qt::Key_Meta, 91},
        {Qt::Key_Super_L, 91},
        {Qt::Key_Super_R, 92},
        {Qt::Key_Menu, 93},
        {Qt::Key_Sleep, 95},
        {Qt::Key_NumLock, 144},
        {Qt::Key_ScrollLock, 145},
        {Qt::Key_Back, 166},
        {Qt::Key_Forward, 167},
        {Qt::Key_Refresh, 168},
        {Qt::Key_Stop, 169},
        {Qt::Key_Search, 170},
        {Qt::Key_Favorites, 171},
        {Qt::Key_HomePage, 172},
        {Qt::Key_VolumeMute, 173},
        {Qt::Key_VolumeDown, 174},
        {Qt::Key_VolumeUp, 175},
        {Qt::Key_MediaNext, 176},
        {Qt::Key_MediaPrevious, 177},
        {Qt::Key_MediaStop, 178},
        {Qt::Key_MediaPlay, 179},
        {Qt::Key_MediaTogglePlayPause, 179},
        {Qt::Key_MediaPause, 179},
        {Qt::Key_LaunchMail, 180},
        {Qt::Key_LaunchMedia, 181},
        {Qt::Key_Launch0, 182},
        {Qt::Key_Launch1, 183},
        {Qt::Key_Semicolon, 186}, // VK_OEM_1
        {Qt::Key_Colon, 186},
        {Qt::Key_Equal, 187}, // VK_OEM_PLUS
        {Qt::Key_Plus, 187},
        {Qt::Key_Comma, 188}, // VK_OEM_COMMA
        {Qt::Key_Less, 188},
        {Qt::Key_Minus, 189}, // VK_OEM_MINUS
        {Qt::Key_Underscore, 189},
        {Qt::Key_Period, 190}, // VK_OEM_PERIOD
        {Qt::Key_Greater, 190},
        {Qt::Key_Slash, 191}, // VK_OEM_2
        {Qt::Key_Question, 191},
        {Qt::Key_QuoteLeft, 192}, // VK_OEM_3
        {Qt::Key_AsciiTilde, 192},
        {Qt::Key_BracketLeft, 219}, // VK_OEM_4
        {Qt::Key_BraceLeft, 219},
        {Qt::Key_Backslash, 220}, // VK_OEM_5
        {Qt::Key_Bar, 220},
        {Qt::Key_BracketRight, 221}, // VK_OEM_6
        {Qt::Key_BraceRight, 221},
        {Qt::Key_Apostrophe, 222}, // VK_OEM_7
        {Qt::Key_QuoteDbl, 222},
        {Qt::Key_Play, 250},
        {Qt::Key_Zoom, 251},
    };
    return table;
}

} // namespace

int VirtualKeyCode(int qtKey, bool keypad)
{
    if (qtKey == 0) {
        return 0;
    }
    if (keypad) {
        if (const int code = keypadCode(qtKey); code != 0) {
            return code;
        }
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) {
        return 65 + (qtKey - Qt::Key_A);
    }
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) {
        return 48 + (qtKey - Qt::Key_0);
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) {
        return 112 + (qtKey - Qt::Key_F1);
    }
    const auto &table = codes();
    if (const auto it = table.find(qtKey); it != table.end()) {
        return it->second;
    }
    return NoCodeOfItsOwn;
}
