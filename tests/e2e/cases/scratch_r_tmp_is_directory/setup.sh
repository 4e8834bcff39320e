mkdir -p r_tmp
