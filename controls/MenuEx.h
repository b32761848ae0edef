#pragma once
// The owner-drawn popup menu: item records, loading a menu description,
// changing an item, and measuring and drawing items in the flat style
// (icon column, blue framed highlight, Tahoma 9 pt, thin separator lines).
#include <cairo.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/ControlTypes.h"
#include "controls/TextDraw.h"

namespace fl {

// Menu flags, as the menu functions have always taken them.
inline constexpr unsigned MF_BYCOMMAND = 0x0000;
inline constexpr unsigned MF_GRAYED = 0x0001;
inline constexpr unsigned MF_DISABLED = 0x0002;
inline constexpr unsigned MF_CHECKED = 0x0008;
inline constexpr unsigned MF_POPUP = 0x0010;
inline constexpr unsigned MF_OWNERDRAW = 0x0100;
inline constexpr unsigned MF_BYPOSITION = 0x0400;
inline constexpr unsigned MF_SEPARATOR = 0x0800;

// A menu description (the resource a menu is loaded from).
struct MenuTemplateItem {
    std::string text;
    int id = 0;              // 0 for a separator
    bool separator = false;
    std::vector<MenuTemplateItem> popup;  // non-empty: a sub-menu
    bool isPopup = false;
};
using MenuTemplate = std::vector<MenuTemplateItem>;
// The menus of the launcher by id (171: the settings menu); null when unknown.
const MenuTemplate* FindMenuResource(int id);

// Command ids of the settings menu.
inline constexpr int ID_MENU_REFRESH = 32771;
inline constexpr int ID_MENU_HIDE_RESTORE = 32772;
inline constexpr int ID_MENU_EXIT = 32773;
inline constexpr int ID_MENU_CLEAR_CACHE = 32774;

class CMenuEx;

struct CMenuItemRecord {
    std::string strText;
    int nId = 0;  // 0 separator, -1 sub-menu
    int nWidth = 0;
    int nHeight = 0;
    int nImage = -1;
    bool bSubMenu = false;
    std::unique_ptr<CMenuEx> pSubMenu;
    unsigned nState = 0;  // MF_GRAYED, MF_DISABLED, MF_CHECKED
    bool IsSeparator() const { return nId == 0 && strText.empty() && !bSubMenu; }
};

// Item drawing states.
inline constexpr unsigned ODS_SELECTED = 0x0001;
inline constexpr unsigned ODS_GRAYED = 0x0002;
inline constexpr unsigned ODS_DISABLED = 0x0004;
inline constexpr unsigned ODS_CHECKED = 0x0008;

class CMenuEx {
public:
    CMenuEx();
    ~CMenuEx();

    bool LoadMenu(int resourceId);
    bool LoadMenu(const MenuTemplate& menu);
    // Finds the item by command id (here, then in the sub-menus) or by position;
    // 0 when it is not found.
    int ModifyItem(int idOrPosition, unsigned flags, int newId, const std::string& text,
                   const MenuTemplate* popup = nullptr);
    CMenuEx* GetSubMenu(int n);
    int GetItemCount() const { return int(m_vecRecords.size()); }
    CMenuItemRecord& Item(int i) { return *m_vecRecords[size_t(i)]; }
    void DestroyMenu();
    bool HasMenu() const { return m_bHasMenu; }

    void MeasureItem(const CMenuItemRecord& item, int* width, int* height) const;
    void DrawItem(cairo_t* cr, const CMenuItemRecord& item, const CRect& rect, unsigned state) const;

    int m_nPopupMode = 0;
    int m_nSeparatorHeight = 10;
    Rgba m_clrBackground{0.94, 0.94, 0.94, 1};
    Rgba m_clrSelectedText{0, 0, 0, 1};
    Rgba m_clrText{0, 0, 0, 1};
    Rgba m_clrIconColumn = Rgba::FromRgb(236, 233, 216);
    Rgba m_clrFrame = Rgba::FromRgb(49, 106, 197);
    Rgba m_clrHighlight = Rgba::FromRgb(200, 220, 253);
    int m_nIconWidth = 20;
    int m_nIconHeight = 20;
    // Text extents, measured in the owner window's font.
    std::function<int(const std::string&)> m_fnTextExtent;

private:
    CMenuItemRecord* Find(int id, unsigned flags, int* position);
    void Copy(const MenuTemplateItem& item);
    int Extent(const std::string& text) const;

    std::vector<std::unique_ptr<CMenuItemRecord>> m_vecRecords;
    bool m_bHasMenu = false;
};

}  // namespace fl
