// Resource identifiers shared by vossel.rc and the C++ code; plain #defines so rc can read them.
#ifndef VOSSEL_RESOURCE_IDS_H
#define VOSSEL_RESOURCE_IDS_H

#define IDI_VOSSEL 1            // icon group
#define IDI_VOSSEL_IMAGE 30001  // its single 32 x 32, 24-bit image
#define IDB_MAIN_PICTURE 101    // the main window's background picture
#define IDR_SEGMENT_FONT 201    // seven-segment face for the duration, when the build embeds one

#endif  // VOSSEL_RESOURCE_IDS_H
