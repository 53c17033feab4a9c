/* Identifiers shared by the resource script and the code. */
#pragma once

#define IDI_QUELLIX 128
#define IDB_BACKGROUND 180
#define IDB_PICTURE_EXCLAMATION 147
#define IDB_PICTURE_ASTERISK 177
#define IDB_PICTURE_QUESTION 178
#define IDB_PICTURE_HAND 179

/* Main dialog (template 161). */
#define IDD_MAIN 161
#define IDC_OK_BUTTON 1070
#define IDC_SCAN 1052
#define IDC_DOWNLOAD 1053
#define IDC_CLOSE_X 1054
#define IDC_STATUS_FRAME 1064
#define IDC_STATUS_LINE 1065
#define IDC_SEARCHING 1076
#define IDC_HEADLINE 1068
#define IDC_SUITE_SENTENCE 1075
#define IDC_NOTICE 1072
#define IDC_DESCRIPTION 1074
#define IDC_DLINK 1077
#define IDC_ULINK 1080
#define IDC_LOGO 1085
#define IDC_LIST_FRAME 1034
#define IDC_RESULT_LIST 1055

/* Message dialog (template 176). */
#define IDD_MESSAGE 176
#define IDC_PICTURE 1085
#define IDC_MESSAGE_TEXT 1086
#define IDC_CENTRED_OK 3
