/* Compiled as C99 so the contract header can never drift into C++. */
#include "sowfield_host.h"

int contract_header_compiles_as_c(void) {
    sf_module_descriptor descriptor = {SF_MODULE_SYNC, SF_MODULE_VERSION, SF_MACHINE_CODE, 0, 0, 0};
    return descriptor.version == SF_MODULE_VERSION && SF_ID4('F', 'A', 'C', 'E') == SF_POLY_FACE &&
           SF_ID4('T', 'X', 'U', 'V') == SF_VMAP_TXUV && SF_ID4('S', 'P', 'O', 'T') == SF_VMAP_SPOT;
}
