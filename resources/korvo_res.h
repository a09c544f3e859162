/* Resource ids of Korvo.exe.  101 is the application icon (the lowest id, so
   Explorer shows it for the executable); the others are for associated files. */
#ifndef KORVO_RES_H
#define KORVO_RES_H

#define IDI_KORVO_APP      101
#define IDI_KORVO_DOCUMENT 104
#define IDI_KORVO_MEDIA    106

#endif
