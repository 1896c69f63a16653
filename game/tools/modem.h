// The modem handshake animation played when a caller connects.
#pragma once

void animate_modem(const char* modem_name, int bps);
