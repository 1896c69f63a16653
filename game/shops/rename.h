// Renaming the board.
#pragma once

void rename_bbs();
