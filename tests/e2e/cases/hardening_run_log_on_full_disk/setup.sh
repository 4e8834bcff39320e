ln -s /dev/full wavelet_log.txt
