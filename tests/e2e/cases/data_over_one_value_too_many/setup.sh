yes 1 | head -n 32769 > big.txt
