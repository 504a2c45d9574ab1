// The check kit's program and its boxes' caption, for the kit and for the
// e2e rows that run it.
#ifndef KIT_KIT_NAMES_H
#define KIT_KIT_NAMES_H

static const char KitProgramName[] = "ScrivoxCheck.exe";
static const char KitCaption[] = "Scrivox check kit";

#endif
