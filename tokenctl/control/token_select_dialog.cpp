#include "token_select_dialog.h"

#include <commctrl.h>

#include <string>

#include "ansi_text.h"
#include "resource.h"

namespace orv::tokenctl {
namespace {

struct DialogState {
  const TokenMap* tokens;
  std::optional<CK_SLOT_ID> chosen;
};

void insertColumn(HWND list, int index, const wchar_t* title) {
  LVCOLUMNW column = {};
  column.mask = LVCF_TEXT | LVCF_SUBITEM;
  column.pszText = const_cast<wchar_t*>(title);
  column.iSubItem = index;
  ListView_InsertColumn(list, index, &column);
}

void fillList(HWND dialog, const TokenMap& tokens) {
  HWND list = ::GetDlgItem(dialog, IDC_TOKEN_LIST);
  ListView_SetExtendedListViewStyle(list, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
  insertColumn(list, 0, L"名称");
  insertColumn(list, 1, L"序列号");
  RECT rect = {};
  ::GetWindowRect(list, &rect);
  const int width = rect.right - rect.left;
  ListView_SetColumnWidth(list, 0, width / 3);
  ListView_SetColumnWidth(list, 1, width * 2 / 3);
  ListView_DeleteAllItems(list);
  for (const auto& item : tokens) {
    // Each row goes to the top, so the last entry of the map ends first in the list.
    std::wstring label = toWide(item.second.label);
    std::wstring serial = toWide(item.second.serial);
    LVITEMW row = {};
    row.mask = LVIF_TEXT | LVIF_PARAM;
    row.iItem = 0;
    row.pszText = &label[0];
    row.lParam = static_cast<LPARAM>(item.second.slot);
    const int index =
        static_cast<int>(::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)));
    if (index < 0) continue;
    LVITEMW cell = {};
    cell.iSubItem = 1;
    cell.pszText = &serial[0];
    ::SendMessageW(list, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&cell));
    ListView_SetColumnWidth(list, 0, LVSCW_AUTOSIZE);
  }
}

void onItemChanged(HWND dialog, DialogState* state) {
  HWND list = ::GetDlgItem(dialog, IDC_TOKEN_LIST);
  const int selected = ListView_GetNextItem(list, -1, LVNI_SELECTED);
  HWND ok = ::GetDlgItem(dialog, IDOK);
  if (selected < 0) {
    ::EnableWindow(ok, FALSE);
    return;
  }
  ::EnableWindow(ok, TRUE);
  LVITEMW row = {};
  row.mask = LVIF_PARAM;
  row.iItem = selected;
  if (ListView_GetItem(list, &row)) state->chosen = static_cast<CK_SLOT_ID>(row.lParam);
}

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<DialogState*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG:
      ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      fillList(dialog, *reinterpret_cast<DialogState*>(lParam)->tokens);
      return TRUE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (state && header->idFrom == IDC_TOKEN_LIST && header->code == LVN_ITEMCHANGED)
        onItemChanged(dialog, state);
      return FALSE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        ::EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

}  // namespace

std::optional<CK_SLOT_ID> selectToken(HINSTANCE module, const TokenMap& tokens) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
  ::InitCommonControlsEx(&controls);
  DialogState state{&tokens, std::nullopt};
  const INT_PTR ended = ::DialogBoxParamW(module, MAKEINTRESOURCEW(IDD_TOKEN_SELECT), nullptr,
                                          dialogProc, reinterpret_cast<LPARAM>(&state));
  if (ended <= 0) return std::nullopt;  // the dialog could not be shown
  return state.chosen;
}

}  // namespace orv::tokenctl
