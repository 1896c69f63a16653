// The session record, its scrollback ring and sending.
#include "chat/session/irc_session.h"

void irc_init(irc_session *) {}
void irc_add_line(irc_session *, const char *, const char *, int) {}
int irc_line_count(const irc_session *s) { return s->line_count; }
const chat_line *irc_line_at(const irc_session *s, int index) { return &s->lines[index]; }
int irc_send_raw(irc_session *, const char *) { return -1; }
void sasl_send_registration(irc_session *) {}
int irc_connect_server(irc_session *, const char *, int, const char *, const char *, int, const char *) { return -1; }
void irc_disconnect(irc_session *, const char *) {}
void irc_thread_main(irc_session *) {}
int irc_handle_command(irc_session *, const char *) { return 0; }
