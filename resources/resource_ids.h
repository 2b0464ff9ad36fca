// Resource identifiers shared by vossel.rc and the C++ code; plain #defines so rc can read them.
#ifndef VOSSEL_RESOURCE_IDS_H
#define VOSSEL_RESOURCE_IDS_H

#define IDI_VOSSEL 1            // icon group
#define IDI_VOSSEL_IMAGE 30001  // its single 32 x 32, 24-bit image
#define IDB_MAIN_PICTURE 101    // the main window's background picture
#define IDR_SEGMENT_FONT 201    // seven-segment face for the duration, when the build embeds one

// Texts, one table per language in resources/texts/; cmake/check_texts.cmake fails the build
// when a language lacks one. Ids 1000 and up.
#define IDS_MAIN_PROMPT 1000
#define IDS_MAIN_UNIT 1001
#define IDS_MAIN_SETTINGS_LINK 1002
#define IDS_MENU_SETTINGS 1003
#define IDS_MENU_HISTORY 1004
#define IDS_SETTINGS_TITLE 1005
#define IDS_SETTINGS_AUTOSTART 1006
#define IDS_SETTINGS_BACK 1007
#define IDS_HISTORY_TITLE 1008
#define IDS_HISTORY_READING 1009
#define IDS_HISTORY_LIST 1010
#define IDS_HISTORY_READ_ERROR 1011
#define IDS_HISTORY_READ_PARTIAL 1012
#define IDS_HISTORY_EMPTY 1013
#define IDS_HISTORY_SUMMARY 1014
#define IDS_HISTORY_LEFT_OUT 1015
#define IDS_PHASE_WINDOWS_START 1016
#define IDS_PHASE_SIGNING_IN 1017
#define IDS_LEGEND_WAIT 1018
#define IDS_LEGEND_KINDS 1019
#define IDS_CHART_MEDIAN 1020
#define IDS_SECONDS_VALUE 1021
#define IDS_COLUMN_TIME 1022
#define IDS_COLUMN_SECONDS 1023
#define IDS_COLUMN_WAIT 1024
#define IDS_COLUMN_KIND 1025
#define IDS_WAIT_INCLUDED 1026
#define IDS_WAIT_INCLUDED_VALUE 1027
#define IDS_KIND_FULL_BOOT 1028
#define IDS_KIND_RESUME 1029
#define IDS_KIND_NOT_MEASURED 1030
#define IDS_KIND_LATER_LOGONS 1031
#define IDS_KIND_CONFLICT 1032
#define IDS_CHART_DESCRIPTION 1033
#define IDS_CHART_CUT 1034
#define IDS_CHART_END 1035
#define IDS_ACTION_CLICK 1036
#define IDS_RUNTIME_ERROR 1037
#define IDS_ERROR_CREATE_WINDOW 1038
#define IDS_ERROR_DLL 1039
#define IDS_ERROR_ENTRY_POINT 1040
#define IDS_ERROR_OUT_OF_MEMORY 1041
#define IDS_ERROR_INTERNAL 1042
#define IDS_ERROR_INTERNAL_DETAIL 1043

#endif  // VOSSEL_RESOURCE_IDS_H
