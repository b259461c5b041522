// The main window's commands that the item operations, the capture, the search and the
// About box carry out. Each of those subsystems replaces its stub here with the call into
// its own command; until then the command does nothing.
#include "app/main_dlg.h"

namespace zelvane {

void CMainDlg::OnItemRename() {}
void CMainDlg::OnItemDelete() {}
void CMainDlg::OnItemProperties() {}
void CMainDlg::OnAddTree() {}
void CMainDlg::OnSearch() {}
void CMainDlg::OnStopScan() {}
void CMainDlg::OnHelpAbout() {}

} // namespace zelvane
