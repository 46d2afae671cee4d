// libZovevOdu.so is the zovevodu-core archive, linked whole; the entry points live in the *Functions.cpp files.
