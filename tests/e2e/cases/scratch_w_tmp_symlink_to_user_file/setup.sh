# "w_tmp" is a link to a file of the user's: the file stays as it is, the link
# is replaced by the tool's own scratch file and gone after the run.
printf 'notes of the user\n' > notes.txt
ln -s notes.txt w_tmp
