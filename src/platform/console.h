// The standard streams carry bytes unchanged: no line-end translation.
#pragma once

void consoleBinaryMode();
