// The modem handshake animation played when a caller connects.
#pragma once

// Plays eight frames of an external modem powering up, dialling and
// connecting at bps (about 4.5 s, through game_sleep_ms). Reads no keys; the
// caller redraws its own screen afterwards.
void animate_modem(const char* modem_name, int bps);
