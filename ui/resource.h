// Control identifiers shared by the dialog templates and their procedures.
#ifndef QUILLPACK_UI_RESOURCE_H
#define QUILLPACK_UI_RESOURCE_H

#define IDC_ACCEPT 1001
#define IDC_REFUSE 1003
#define IDC_DOCUMENT 1005
#define IDC_PROGRESS_FRAME 1007
#define IDC_HEADING 1009
#define IDC_STEP 1011
#define IDC_BROWSE 1013
#define IDC_DIRECTORY 1015

#endif  // QUILLPACK_UI_RESOURCE_H
