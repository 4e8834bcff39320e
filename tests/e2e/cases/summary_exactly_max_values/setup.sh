yes 1 | head -n 32768 > big.txt
