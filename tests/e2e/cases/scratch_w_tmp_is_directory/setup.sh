mkdir -p w_tmp
