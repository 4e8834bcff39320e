# The result name is a second name of another file: the result replaces the
# name, and the other name keeps its content.
printf 'an earlier result, kept\n' > kept.txt
ln kept.txt wave-dN.txt
