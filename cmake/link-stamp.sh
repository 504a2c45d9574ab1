#!/bin/sh
# Link launcher for ScrivoxSetup.exe: the linker writes SOURCE_DATE_EPOCH
# into the PE header's time stamp, so two builds of one commit are the same
# bytes. Without it the stamp is fixed at 0 instead of the time of linking.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-0}
export SOURCE_DATE_EPOCH
exec "$@"
