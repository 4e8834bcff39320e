ln -s wave.txt wave-dN.txt
ln hard.txt hard-dN.txt
