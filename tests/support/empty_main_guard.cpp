// Keeps a test program buildable while its folder holds no test file yet.
