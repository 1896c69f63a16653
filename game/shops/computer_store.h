// The computer store: CPUs, RAM, drives, modems, monitors, peripherals.
#pragma once

void computer_store();
