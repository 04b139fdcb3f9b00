#include "ui/FerrikFrame.h"

void FerrikFrame::OnBlank(wxCommandEvent& /*event*/) {}
