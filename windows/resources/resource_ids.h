/* Numbers of the resources that the program and the resource script share.
   Plain #defines so that both the C++ code and the resource compiler read them. */
#ifndef ROLVANTA_RESOURCE_IDS_H
#define ROLVANTA_RESOURCE_IDS_H

#define IDS_SAVER_NAME 1
#define IDS_SETTINGS_FILE 1001
#define IDS_DESCRIPTION 1002
#define IDS_SETTINGS_SECTION 1007

#define IDD_CONFIG 2003
#define IDI_SAVER 100

#define IDC_BLANK 100
#define IDC_SOUND 110
#define IDC_CORAVENDIA 111
#define IDC_VALTORNE 112
#define IDC_SPEED 1005
#define IDC_RATE 1006
#define IDC_VOLUME 1007

#endif
