// temp_dir
