#pragma once
// The notifier's icon in the notification area: one icon per process, owned by the main dialog,
// identifier 128, with its tooltip, its callback message and the update balloon; and the start
// of the core host from the tray.
#include <windows.h>
#include <shellapi.h>

#include <cstddef>

namespace orv::notifier {

constexpr UINT kTrayIconId = 128;
// Registered message the shell broadcasts when the notification area starts (again): every icon
// must be added anew.
constexpr wchar_t kTaskbarCreatedMessageName[] = L"TaskbarCreated";
constexpr UINT kTrayCallbackMessage = WM_USER + 1234;  // 2258; lParam carries the mouse message

// Structure sizes: the full layout (Vista on) to add and remove the icon, the Windows 2000 layout
// for the balloon. In the shipped 32-bit program they are 956 and 936 bytes.
constexpr std::size_t kTrayIconFullSize = sizeof(NOTIFYICONDATAW);
constexpr std::size_t kTrayIconBalloonSize = NOTIFYICONDATAW_V2_SIZE;
#ifndef _WIN64
static_assert(kTrayIconFullSize == 956 && kTrayIconBalloonSize == 936,
              "the layouts the notification area expects");
#endif

// NIM_ADD with message, icon and tooltip (the product name). False when the shell refused it.
bool addTrayIcon(HWND owner, HICON icon);
// NIM_DELETE.
bool removeTrayIcon(HWND owner);
// NIM_MODIFY with the update balloon only: no title, no balloon icon, 10 seconds.
bool showUpdateBalloon(HWND owner);

// Starts the core host from the program's own folder with `argument` ("-nokey" or "-t"), by the
// shell and with its path quoted. The result is not looked at: a missing core host starts nothing.
void launchCoreHost(const wchar_t* argument);

}  // namespace orv::notifier
