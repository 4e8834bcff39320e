mkdir -p wavelet_log.txt
