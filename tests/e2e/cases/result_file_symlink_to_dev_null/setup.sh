# The result goes nowhere on purpose: written directly, the link stays.
ln -s /dev/null wave-dN.txt
