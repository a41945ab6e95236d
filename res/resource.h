// Resource ids shared by the resource script, the setup driver and the engine.
#ifndef PARVEK_RESOURCE_H
#define PARVEK_RESOURCE_H

#define IDI_PROGRAM             1

#define IDD_INSTALL_DIR         100
#define IDD_RESTART             200
#define IDD_PROGRESS            300

// Dialog 100
#define IDC_DIR_EDIT            101
#define IDC_PROMPT1             106
#define IDC_PROMPT2             107

// Dialog 300
#define IDC_METER               100
#define IDC_STATUS_ACTION       103
#define IDC_STATUS_FILE         104

// The string table
#define IDS_CANT_CREATE_DIR     1004
#define IDS_CONFIRM_CANCEL      1005
#define IDS_NOT_INSTALLED       1006
#define IDS_MISSING_FILE        1013
#define IDS_SAME_DIR            1016
#define IDS_CANT_OPEN           1017
#define IDS_CANT_OPEN_WRITE     1018
#define IDS_WRITE_ERROR         1019
#define IDS_TITLE               1021
#define IDS_PRODUCT_RUNNING     1022
#define IDS_DATE_MISMATCH       1023
#define IDS_BAD_DEST            1024
#define IDS_ALREADY_RUNNING     1025
#define IDS_INSTALLING          1026
#define IDS_UNLOADING_SHELLEXT  1029
#define IDS_CANT_CREATE_OUTPUT  1030
#define IDS_CANT_OPEN_INPUT     1031
#define IDS_UNKNOWN_METHOD      1032
#define IDS_BAD_CRC             1033
#define IDS_BAD_HEADER          1034
#define IDS_NO_MEMORY           1035
#define IDS_WRITE_FAILED        1036
#define IDS_READ_FAILED         1037
#define IDS_BAD_DATA            1038

#endif
