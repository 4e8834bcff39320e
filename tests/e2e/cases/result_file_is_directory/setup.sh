mkdir -p wave-dN.txt
