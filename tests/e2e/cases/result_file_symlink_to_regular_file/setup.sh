# The result name is a link to an earlier result in another directory.
mkdir results
printf 'an earlier result\n' > results/wave.txt
ln -s results/wave.txt wave-dN.txt
