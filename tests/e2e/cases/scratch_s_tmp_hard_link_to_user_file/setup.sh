# "s_tmp" is a second name of a file of the user's: the file keeps its
# content, the name is replaced by the tool's own scratch file and gone after.
printf 'notes of the user\n' > notes.txt
ln notes.txt s_tmp
