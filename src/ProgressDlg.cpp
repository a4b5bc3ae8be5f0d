#include "ProgressDlg.h"

CProgressDlg::CProgressDlg(MainWindow* owner) : TWindow("ProgressDlg", "main"), m_pOwner(owner) {}
