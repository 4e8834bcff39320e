ln -s /dev/null wavelet_log.txt
