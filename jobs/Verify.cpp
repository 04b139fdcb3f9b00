#include "ui/FerrikFrame.h"

void FerrikFrame::OnVerify(wxCommandEvent& /*event*/) {}
