/* The yardstick for a whole run of the program: a process that does nothing at all. Linked
   statically, it costs only what the kernel charges for exec, exit and wait. */
int main(void) { return 0; }
