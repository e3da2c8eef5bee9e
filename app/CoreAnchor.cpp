// Placeholder so the core library is never empty.
int farlink_core_anchor = 0;
