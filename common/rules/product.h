#pragma once
// The product's identity and every name built from it: program files, pipes, registered window
// messages, mutexes, events and the settings key. Each name is joined here from the identifier,
// so another identifier renames all of them at once. No Windows headers: the names are checked
// natively too.

// The identifier as a plain literal, so that it joins with wide and UTF-16 literals alike.
#define ORV_PRODUCT_ID "Orvalinex"

// The program files, installed side by side in the product folder (k<Role>FileName), and the
// updater's stop list: generated from programs.txt.
#include "programs.h"

namespace orv {

inline constexpr wchar_t kProductId[] = L"" ORV_PRODUCT_ID;
inline constexpr wchar_t kProductName[] = L"Delmora网银助手";
// The publisher's address, named in the programs' code signatures.
inline constexpr wchar_t kProductUrl[] = L"https://www.delmora.example/";
// The one English text: shown when a program cannot register its window message.
inline constexpr wchar_t kCannotInitializeText[] = L"Can not initialize.";

// The settings key under HKEY_LOCAL_MACHINE (32-bit view).
inline constexpr wchar_t kSettingsKeyPrefix[] = L"SOFTWARE\\Halvenor\\DovAZ\\";
inline constexpr wchar_t kSettingsKeyPath[] = L"SOFTWARE\\Halvenor\\DovAZ\\" ORV_PRODUCT_ID;

// Core host: single instance and command pipe.
inline constexpr wchar_t kCoreInstanceMessageName[] =
    L"zq_tamir_detect_tools_single_msgid" ORV_PRODUCT_ID "Assistant";
inline constexpr wchar_t kCoreInstanceMutexName[] =
    L"zq_tamir_detect_tools_single" ORV_PRODUCT_ID "Assistant_instance";
inline constexpr wchar_t kCorePipeName[] = L"\\\\.\\pipe\\Assistant" ORV_PRODUCT_ID;
inline constexpr char16_t kCorePipeNameU16[] = u"\\\\.\\pipe\\Assistant" ORV_PRODUCT_ID;

// Updater: the folder inside the installed folder that holds each attempt's work folder.
inline constexpr wchar_t kWorkParentName[] = L"UpdateWork";
// Updater: the folder inside the installed folder that keeps its trusted update metadata.
inline constexpr wchar_t kTrustFolderName[] = L"UpdateTrust";

// The logs' folder: inside the installed folder for the programs that run elevated (the core
// host, the updater, the installer), and "<local application data>\Orvalinex\Logs" for the
// user's own (the notifier, the token control).
inline constexpr wchar_t kLogFolderName[] = L"Logs";
// The installed folder's log folder is made with this descriptor (SDDL; also by the installer):
// owner Administrators, full access for Administrators and SYSTEM, read access for the users
// (so that a customer can send a log to the helpdesk), inherited by the files inside.
// One line, as the scripts read it:
// clang-format off
inline constexpr wchar_t kLogFolderSddl[] = L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;FR;;;BU)";
// clang-format on

// The installed folder's descriptor, set by the installer wherever the folder is: owner
// Administrators, a protected DACL with full access for Administrators and SYSTEM and read and
// execute for the users, inherited by everything inside. The updater checks the folder against
// folderAccess (folder_access.h) before every attempt. One line, as the scripts read it:
// clang-format off
inline constexpr wchar_t kInstalledFolderSddl[] = L"O:BAD:PAI(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)";
// clang-format on

// Updater: one name for its quit broadcast message and its mutex.
inline constexpr wchar_t kUpdaterInstanceName[] =
    L"zq_tamir_detect_tools_single_msgid" ORV_PRODUCT_ID "Update";

// Tray notifier: single instance, pipe and the confirmation events its clients create.
inline constexpr wchar_t kNotifierInstanceMessageName[] =
    L"zq_detect_tools_single_msgid" ORV_PRODUCT_ID "Pop";
inline constexpr wchar_t kNotifierMutexName[] = L"" ORV_PRODUCT_ID "Pop";
inline constexpr wchar_t kNotifierPipeName[] = L"\\\\.\\pipe\\Pop" ORV_PRODUCT_ID;
inline constexpr char16_t kNotifierPipeNameU16[] = u"\\\\.\\pipe\\Pop" ORV_PRODUCT_ID;
inline constexpr wchar_t kConfirmYesEventName[] =
    L"Global\\PopUserConfirmCmd" ORV_PRODUCT_ID "_Yes";
inline constexpr wchar_t kConfirmNoEventName[] = L"Global\\PopUserConfirmCmd" ORV_PRODUCT_ID "_No";

}  // namespace orv
