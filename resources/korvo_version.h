/* Version stamped into Korvo.exe.  The numeric and text forms must move together. */
#ifndef KORVO_VERSION_H
#define KORVO_VERSION_H

#define KORVO_VERSION_NUM 1,11,0,36
#define KORVO_VERSION_TEXT "1.11"

#endif
