// Real IRC servers for tests.
#include "tests/support/ircd_server.h"

ngircd_server::ngircd_server(bool) {}
ngircd_server::~ngircd_server() = default;
std::string ngircd_server::cert_file() const { return dir_ + "/cert.pem"; }
sasl_ircd_server::sasl_ircd_server() {}
sasl_ircd_server::~sasl_ircd_server() = default;
int free_loopback_port() { return 0; }
