// Template and control ids shared by the resource script and the settings pages.
#pragma once

#define IDD_FILEMENU 101
#define IDD_SCRIPTMENU 102

#define IDC_TITLE 1000      // row i: 1000 + i
#define IDC_COMMAND 1005    // row i: 1005 + i (program page)
#define IDC_SCRIPTFILE 1010 // row i: 1010 + i (script page)
#define IDC_BROWSE 1015     // row i: 1015 + i (program page)
#define IDC_LABEL 65535
