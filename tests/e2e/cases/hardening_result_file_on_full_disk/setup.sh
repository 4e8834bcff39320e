ln -s /dev/full wave-dN.txt
