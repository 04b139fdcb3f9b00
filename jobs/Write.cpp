#include "ui/FerrikFrame.h"

void FerrikFrame::OnWrite(wxCommandEvent& /*event*/) {}
