/* One address for the loader to fix. A module without a single relocation has no relocation
 * table, and a loader keeps such an image at its preferred address: address-space
 * randomisation could not move it. */
static const void* const self __attribute__((used)) = &self;
