mkfifo fifo.txt
ln -s /dev/zero zero.txt
mkdir dir.txt
