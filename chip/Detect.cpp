#include "ui/FerrikFrame.h"

void FerrikFrame::OnDetect(wxCommandEvent& /*event*/) {}
