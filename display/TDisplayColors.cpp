#include "display/TDisplayColors.h"

TDisplayColors::TDisplayColors(std::initializer_list<std::pair<int, QColor>> colors)
{
    for (const auto& entry : colors)
        set(entry.first, entry.second);
}

bool TDisplayColors::set(int role, QColor color)
{
    if (role == Highlight)
        color.setAlpha(HighlightAlpha);
    m_colors.insert(role, color);
    return role == Background || role == Grid;
}
