// The exported functions of libfpdriver.so.
