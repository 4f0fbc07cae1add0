// Menus: handles, items, menus from resources, and popups shown over the device.
#include "lwdevice.h"
#include "window.h"

#include <QMenu>
#include <QPointer>

#include <unordered_map>

namespace lwuser {
namespace {

struct MenuItem {
    UINT flags = 0;
    UINT_PTR id = 0;
    std::u16string text;
    HMENU popup = nullptr; // owned
};

struct Menu {
    bool popup = false;
    std::vector<MenuItem> items;
};

struct MenuTable {
    std::unordered_map<uintptr_t, std::unique_ptr<Menu>> menus;
    uintptr_t next = 0x20000; // never reused, like window handles
};

MenuTable& table()
{
    static auto* t = new MenuTable;
    return *t;
}

Menu* FindMenu(HMENU handle)
{
    auto it = table().menus.find(reinterpret_cast<uintptr_t>(handle));
    if (it == table().menus.end()) {
        SetLastError(ERROR_INVALID_MENU_HANDLE);
        return nullptr;
    }
    return it->second.get();
}

HMENU NewMenu(bool popup)
{
    auto menu = std::make_unique<Menu>();
    menu->popup = popup;
    HMENU handle = reinterpret_cast<HMENU>(table().next);
    table().next += 4;
    table().menus.emplace(reinterpret_cast<uintptr_t>(handle), std::move(menu));
    return handle;
}

QPointer<QMenu> openPopup;
QRect openPopupPlace; // where TrackPopupMenuEx asked it to stand, in device pixels

void FillQMenu(QMenu* target, const Menu& menu, HWND owner, bool returnCommand, UINT_PTR* chosen, int depth)
{
    for (const MenuItem& item : menu.items) {
        if (item.flags & MF_SEPARATOR) {
            target->addSeparator();
            continue;
        }
        QString text = QString::fromStdU16String(item.text);
        if (item.flags & MF_POPUP) {
            Menu* sub = FindMenu(item.popup);
            if (sub && depth < 16) {
                QMenu* child = target->addMenu(text);
                FillQMenu(child, *sub, owner, returnCommand, chosen, depth + 1);
            }
            continue;
        }
        QAction* action = target->addAction(text);
        action->setData(text);
        action->setEnabled(!(item.flags & (MF_GRAYED | MF_DISABLED)));
        if (item.flags & MF_CHECKED) {
            action->setCheckable(true);
            action->setChecked(true);
        }
        UINT_PTR id = item.id;
        QObject::connect(action, &QAction::triggered, [owner, id, returnCommand, chosen] {
            if (returnCommand)
                *chosen = id;
            else if (IsWindow(owner))
                PostMessageW(owner, WM_COMMAND, MAKEWPARAM(id, 0), 0);
        });
    }
}

bool MenuFromTemplate(HMENU menu, const std::vector<MenuItemTemplate>& items)
{
    for (const MenuItemTemplate& item : items) {
        if (item.IsPopup()) {
            HMENU sub = CreatePopupMenu();
            if (!MenuFromTemplate(sub, item.popup) ||
                !AppendMenuW(menu, MF_POPUP | (item.flags & MF_GRAYED), reinterpret_cast<UINT_PTR>(sub), item.text.c_str()))
                return false;
        } else if (item.id == 0 && item.text.empty()) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        } else {
            AppendMenuW(menu, MF_STRING | (item.flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED)), item.id,
                        item.text.c_str());
        }
    }
    return true;
}

} // namespace

QMenu* OpenPopup()
{
    return openPopup && openPopup->isVisible() ? openPopup.data() : nullptr;
}

} // namespace lwuser

using namespace lwuser;

HMENU CreateMenu()
{
    return NewMenu(false);
}

HMENU CreatePopupMenu()
{
    return NewMenu(true);
}

BOOL AppendMenuW(HMENU handle, UINT flags, UINT_PTR newItem, LPCWSTR text)
{
    Menu* menu = FindMenu(handle);
    if (!menu)
        return FALSE;
    MenuItem item;
    item.flags = flags;
    if (flags & MF_POPUP) {
        if (!FindMenu(reinterpret_cast<HMENU>(newItem)))
            return FALSE;
        item.popup = reinterpret_cast<HMENU>(newItem);
    } else {
        item.id = newItem;
    }
    if (!(flags & MF_SEPARATOR) && text)
        item.text = text;
    menu->items.push_back(std::move(item));
    return TRUE;
}

BOOL DestroyMenu(HMENU handle)
{
    Menu* menu = FindMenu(handle);
    if (!menu)
        return FALSE;
    std::vector<HMENU> popups;
    for (const MenuItem& item : menu->items)
        if (item.popup)
            popups.push_back(item.popup);
    table().menus.erase(reinterpret_cast<uintptr_t>(handle));
    for (HMENU popup : popups)
        DestroyMenu(popup);
    return TRUE;
}

HMENU GetSubMenu(HMENU handle, int position)
{
    Menu* menu = FindMenu(handle);
    if (!menu || position < 0 || static_cast<size_t>(position) >= menu->items.size())
        return nullptr;
    return menu->items[static_cast<size_t>(position)].popup;
}

int GetMenuItemCount(HMENU handle)
{
    Menu* menu = FindMenu(handle);
    return menu ? static_cast<int>(menu->items.size()) : -1;
}

HMENU LoadMenuW(HINSTANCE instance, LPCWSTR name)
{
    HRSRC resource = FindResourceW(instance, name, RT_MENU);
    if (!resource)
        return nullptr;
    HGLOBAL loaded = LoadResource(instance, resource);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    MenuTemplate parsed;
    if (!data || !ParseMenuTemplate(data, SizeofResource(instance, resource), &parsed)) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    HMENU menu = CreateMenu();
    if (!MenuFromTemplate(menu, parsed.items)) {
        DestroyMenu(menu);
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    return menu;
}

BOOL TrackPopupMenuEx(HMENU handle, UINT flags, int x, int y, HWND owner, void*)
{
    Menu* menu = FindMenu(handle);
    if (!menu)
        return FALSE;
    if (!FindWindowRecord(owner))
        return FALSE;
    EnsureApplication();
    if (openPopup)
        openPopup->close(); // one popup at a time, as on the device
    bool returnCommand = (flags & TPM_RETURNCMD) != 0;
    auto chosen = std::make_shared<UINT_PTR>(0);
    QMenu* popup = new QMenu(DeviceWidget());
    popup->setAttribute(Qt::WA_DeleteOnClose);
    FillQMenu(popup, *menu, owner, returnCommand, chosen.get(), 0);
    QSize size = popup->sizeHint();
    QPoint at(x, y);
    if (flags & TPM_RIGHTALIGN)
        at.rx() -= size.width();
    else if (flags & TPM_CENTERALIGN)
        at.rx() -= size.width() / 2;
    if (flags & TPM_BOTTOMALIGN)
        at.ry() -= size.height();
    else if (flags & TPM_VCENTERALIGN)
        at.ry() -= size.height() / 2;
    openPopup = popup;
    openPopupPlace = QRect(at, size);
    popup->popup(DeviceWidget()->mapToGlobal(at));
    if (!returnCommand)
        return TRUE;
    // The caller wants the answer: wait for the popup to close, running messages.
    QPointer<QMenu> watch(popup);
    while (watch && watch->isVisible())
        PumpOnce(true);
    return static_cast<BOOL>(*chosen);
}

// ---- what tests and tools see ---------------------------------------------------------------

std::vector<std::u16string> LwDevicePopupItems()
{
    std::vector<std::u16string> items;
    QMenu* popup = OpenPopup();
    if (!popup)
        return items;
    for (QAction* action : popup->actions())
        items.push_back(action->isSeparator() ? std::u16string() : action->text().toStdU16String());
    return items;
}

bool LwDeviceChoosePopupItem(const std::u16string& text)
{
    QMenu* popup = OpenPopup();
    if (!popup)
        return false;
    for (QAction* action : popup->actions()) {
        if (!action->isSeparator() && action->isEnabled() && action->text().toStdU16String() == text) {
            popup->close();
            action->trigger();
            return true;
        }
    }
    return false;
}

RECT LwDevicePopupPlace()
{
    RECT place = {0, 0, 0, 0};
    if (OpenPopup())
        place = {openPopupPlace.left(), openPopupPlace.top(), openPopupPlace.right() + 1, openPopupPlace.bottom() + 1};
    return place;
}

void LwDeviceClosePopup()
{
    if (QMenu* popup = OpenPopup())
        popup->close();
}
