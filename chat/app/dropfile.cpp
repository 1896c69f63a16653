// Door dropfiles.
#include "chat/app/dropfile.h"

int dropfile_detect(const char *, char *, std::size_t) { return 0; }
int dropfile_load(const char *, dropfile_info *, server_entry *) { return -1; }
int load_door32(const char *, dropfile_info *, server_entry *) { return -1; }
int load_door(const char *, dropfile_info *, server_entry *) { return -1; }
void nick_from_caller_name(const char *, char *, std::size_t) {}
