#include "controls/MenuEx.h"

#include <cmath>

namespace fl {

namespace {

MenuTemplateItem Command(const char* text, int id) {
    MenuTemplateItem item;
    item.text = text;
    item.id = id;
    return item;
}

MenuTemplateItem Separator() {
    MenuTemplateItem item;
    item.separator = true;
    return item;
}

MenuTemplateItem Popup(const char* text, std::vector<MenuTemplateItem> items) {
    MenuTemplateItem item;
    item.text = text;
    item.id = -1;
    item.isPopup = true;
    item.popup = std::move(items);
    return item;
}

// Menu 171 as the resource has it; the shown texts come from the shared table.
const MenuTemplate kMenu171 = {
    Popup("SYSTEM", {Command("刷新 (F5)", ID_MENU_REFRESH), Command("隐藏/恢复(F9) ", ID_MENU_HIDE_RESTORE),
                     Command("清理缓存", ID_MENU_CLEAR_CACHE), Separator(), Command("退出", ID_MENU_EXIT)}),
};

}  // namespace

const MenuTemplate* FindMenuResource(int id) { return id == 171 ? &kMenu171 : nullptr; }

CMenuEx::CMenuEx() = default;
CMenuEx::~CMenuEx() { DestroyMenu(); }

int CMenuEx::Extent(const std::string& text) const {
    return m_fnTextExtent ? m_fnTextExtent(text) : MeasureTextWidth(text, kTahoma9);
}

void CMenuEx::DestroyMenu() {
    m_vecRecords.clear();  // every record, and every sub-menu it owns
    m_bHasMenu = false;
}

bool CMenuEx::LoadMenu(int resourceId) {
    const MenuTemplate* menu = FindMenuResource(resourceId);
    if (!menu) return false;
    return LoadMenu(*menu);
}

void CMenuEx::Copy(const MenuTemplateItem& item) {
    auto record = std::make_unique<CMenuItemRecord>();
    if (item.separator) {
        record->nHeight = m_nSeparatorHeight;
    } else if (item.isPopup) {
        record->strText = item.text;
        record->nId = -1;
        record->nWidth = Extent(item.text) + 25;
        record->nHeight = 2;
        record->bSubMenu = true;
        record->pSubMenu = std::make_unique<CMenuEx>();
        record->pSubMenu->m_nPopupMode = 1;
        record->pSubMenu->m_fnTextExtent = m_fnTextExtent;
        record->pSubMenu->LoadMenu(item.popup);
    } else {
        record->strText = item.text;
        record->nId = item.id;
        record->nWidth = Extent(item.text) + 10;
        record->nHeight = 2;
    }
    m_vecRecords.push_back(std::move(record));
}

bool CMenuEx::LoadMenu(const MenuTemplate& menu) {
    if (m_bHasMenu) DestroyMenu();
    m_bHasMenu = true;
    for (const auto& item : menu) Copy(item);
    return true;
}

CMenuEx* CMenuEx::GetSubMenu(int n) {
    if (n < 0 || n >= GetItemCount()) return nullptr;
    return m_vecRecords[size_t(n)]->pSubMenu.get();
}

CMenuItemRecord* CMenuEx::Find(int idOrPosition, unsigned flags, int* position) {
    if (flags & MF_BYPOSITION) {
        if (idOrPosition < 0 || idOrPosition >= GetItemCount()) return nullptr;
        *position = idOrPosition;
        return m_vecRecords[size_t(idOrPosition)].get();
    }
    for (size_t i = 0; i < m_vecRecords.size(); ++i) {
        if (m_vecRecords[i]->nId == idOrPosition && !m_vecRecords[i]->IsSeparator()) {
            *position = int(i);
            return m_vecRecords[i].get();
        }
    }
    for (auto& r : m_vecRecords)
        if (r->pSubMenu)
            if (CMenuItemRecord* found = r->pSubMenu->Find(idOrPosition, flags, position)) return found;
    return nullptr;
}

int CMenuEx::ModifyItem(int idOrPosition, unsigned flags, int newId, const std::string& text,
                        const MenuTemplate* popup) {
    int position = -1;
    CMenuItemRecord* r = Find(idOrPosition, flags, &position);
    if (!r) return 0;
    r->pSubMenu.reset();
    r->bSubMenu = false;
    r->nImage = -1;
    r->nState = flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED);
    if (flags & MF_SEPARATOR) {
        r->strText.clear();
        r->nId = 0;
        r->nWidth = 0;
        r->nHeight = m_nSeparatorHeight;
    } else if ((flags & MF_POPUP) && popup) {
        r->strText = text;
        r->nId = -1;
        r->nWidth = Extent(text) + 25;
        r->nHeight = 2;
        r->bSubMenu = true;
        r->pSubMenu = std::make_unique<CMenuEx>();
        r->pSubMenu->m_nPopupMode = 1;
        r->pSubMenu->LoadMenu(*popup);
    } else {
        r->strText = text;
        r->nId = newId;
        r->nWidth = Extent(text) + 10;
        r->nHeight = 2;
    }
    return 1;
}

void CMenuEx::MeasureItem(const CMenuItemRecord& item, int* width, int* height) const {
    *width = item.nWidth;
    *height = item.nHeight;
    if (!item.IsSeparator()) {
        *width += 20;  // no image lists: the icon column's size
        *height += 20;
    }
}

void CMenuEx::DrawItem(cairo_t* cr, const CMenuItemRecord& item, const CRect& rc, unsigned state) const {
    auto fill = [cr](double x, double y, double w, double h, Rgba c) {
        cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
        cairo_rectangle(cr, x, y, w, h);
        cairo_fill(cr);
    };
    const bool grayed = state & (ODS_GRAYED | ODS_DISABLED);
    const bool selected = state & ODS_SELECTED;
    cairo_save(cr);
    // 1. Background and the icon column.
    fill(rc.left, rc.top, rc.Width(), rc.Height(), m_clrBackground);
    fill(rc.left, rc.top, m_nIconWidth + 2, rc.Height(), m_clrIconColumn);
    // 2. The highlight: only items with text, selected, neither grayed nor disabled.
    if (!item.strText.empty() && selected && !grayed) {
        fill(rc.left, rc.top, rc.Width(), rc.Height(), m_clrFrame);
        fill(rc.left + 1, rc.top + 1, rc.Width() - 2, rc.Height() - 2, m_clrHighlight);
    }
    // 3. Text, or the separator's line.
    if (!item.strText.empty()) {
        const int x = rc.left + m_nIconWidth + 10;
        if (grayed) {
            // Embossed, as disabled text is drawn: a white copy under a grey one.
            DrawTextLeft(cr, item.strText, kTahoma9, x + 1, rc.top + 1, rc.Height(), {1, 1, 1, 1});
            DrawTextLeft(cr, item.strText, kTahoma9, x, rc.top, rc.Height(), Rgba::FromRgb(128, 128, 128));
        } else {
            DrawTextLeft(cr, item.strText, kTahoma9, x, rc.top, rc.Height(), selected ? m_clrSelectedText : m_clrText);
        }
    } else if (item.IsSeparator()) {
        fill(rc.left + m_nIconWidth + 10, rc.top + rc.Height() / 2 - 1, rc.right - (rc.left + m_nIconWidth + 10), 1,
             Rgba::FromRgb(197, 194, 184));
    }
    // 4. The check sign in the icon column.
    if (state & ODS_CHECKED) {
        const double x = rc.left + 1, y = rc.top + 1;
        fill(x, y, m_nIconWidth, m_nIconHeight, m_clrFrame);
        fill(x + 1, y + 1, m_nIconWidth - 2, m_nIconHeight - 2, m_clrHighlight);
        DrawTextCentered(cr, "√", kTahoma9, x, y - 4, m_nIconWidth, m_nIconHeight,
                         grayed ? Rgba::FromRgb(128, 128, 128) : (selected ? m_clrSelectedText : m_clrText));
    }
    cairo_restore(cr);
}

}  // namespace fl
