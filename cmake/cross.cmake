# MinGW builds: filled in below.
