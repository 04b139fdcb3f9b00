#include "ui/FerrikFrame.h"

void FerrikFrame::OnErase(wxCommandEvent& /*event*/) {}
