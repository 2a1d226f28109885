#pragma once

#include "catalogue/Columns.h"

#include <array>

namespace vestor {

// The caption labels of a stat's rows in the main window, by design name
// (null where the stat has no such row), and their width: each is as wide
// as its caption.
struct StatLabels {
    const char *current;
    const char *needed;
    const char *result;
    int width;
};

// Indexed by stat index - 1.
inline constexpr std::array<StatLabels, kStatCount> kStatLabels{{
    {"Label5", "Label11", "Label3", 25},   // Sila
    {"Label6", "Label12", "Label34", 49},  // Lovka
    {"Label7", "Label13", "Label35", 43},  // Reak
    {"Label8", "Label14", "Label36", 36},  // Zlost
    {"Label9", "Label15", "Label37", 31},  // Udacha
    {"Label10", "Label16", "Label38", 51}, // Slog
    {"Label25", "Label17", "Label39", 70}, // Kulach
    {"Label26", "Label18", "Label40", 39}, // Zashita
    {"Label27", "Label19", "Label41", 64}, // Orug
    {"Label28", "Label20", "Label42", 49}, // Metk
    {nullptr, "Label21", "Label43", 60},   // Ob_Uv
    {nullptr, "Label22", "Label44", 48},   // Ob_Ud
    {nullptr, "Label23", "Label45", 54},   // Ob_Otv
    {nullptr, "Label24", "Label46", 49},   // Ob_Kr
    {nullptr, "Label29", "Label47", 77},   // Ob_Uv_p
    {nullptr, "Label30", "Label48", 65},   // Ob_Ud_p
    {nullptr, "Label31", "Label49", 71},   // Ob_Otv_p
    {nullptr, "Label32", "Label50", 66},   // Ob_Kr_p
}};

} // namespace vestor
