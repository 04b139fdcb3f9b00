#include "ui/FerrikFrame.h"

void FerrikFrame::OnSave(wxCommandEvent& /*event*/) {}
