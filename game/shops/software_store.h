// The software store: doors, CD-ROMs, BBS packages, protection and repairs.
#pragma once

void software_store();
