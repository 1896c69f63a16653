// The saved servers file.
#include "chat/app/server_config.h"

void config_init(server_config *) {}
void config_load(server_config *) {}
int config_save(const server_config *) { return -1; }
void config_add_or_update(server_config *, const server_entry *) {}
void config_default(server_config *) {}
void config_delete(server_config *, int) {}
