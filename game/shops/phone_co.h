// The phone company: FidoNet and Internet tiers.
#pragma once

void phone_co();
