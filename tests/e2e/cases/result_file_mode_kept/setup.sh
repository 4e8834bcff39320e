chmod 640 wave-dN.txt
