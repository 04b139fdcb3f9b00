#include "ui/FerrikFrame.h"

void FerrikFrame::OnRead(wxCommandEvent& /*event*/) {}
