ln -s /dev/full w_tmp
